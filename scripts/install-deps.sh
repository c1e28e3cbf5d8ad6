#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; silent when all are present.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
  libgtest-dev libgmock-dev
  # The fuzz targets: clang with libFuzzer and the sanitizers' runtime.
  clang libclang-rt-14-dev
  xvfb xauth x11-utils
  # make package: dpkg-shlibdeps finds the Qt packages, file finds the programs for it; groff
  # renders the man page in the package's test.
  dpkg-dev file groff-base
  # Real mail servers for the tests of the mail clients, and openssl for their certificates.
  python3-aiosmtpd dovecot-pop3d openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
