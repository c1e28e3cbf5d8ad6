#!/usr/bin/env bash
# Installs the Debian packages of one purpose; silent when all are present.
#   run      building and running the two programs (make run)
#   package  also building the Debian packages (make package)
#   test     also every test of every build (make test): the default
set -euo pipefail

run=(
  g++ make cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
)
# dpkg-shlibdeps finds the Qt packages, file finds the programs for it.
package=("${run[@]}" dpkg-dev file)
test=(
  "${package[@]}"
  libgtest-dev libgmock-dev
  # The fuzz targets: clang with libFuzzer and the sanitizers' runtime.
  clang libclang-rt-14-dev
  xvfb xauth x11-utils
  # Real mail servers for the tests of the mail clients, and openssl for their certificates.
  python3-aiosmtpd dovecot-pop3d openssl
  # The packages' tests: the man pages rendered, lintian, the desktop entry, the unit's exposure
  # (systemd-analyze) and the system calls velorad makes (strace).
  groff-base lintian desktop-file-utils systemd strace
)

case ${1:-test} in
  run) packages=("${run[@]}") ;;
  package) packages=("${package[@]}") ;;
  test) packages=("${test[@]}") ;;
  *) echo "usage: $0 [run|package|test]" >&2; exit 2 ;;
esac

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
