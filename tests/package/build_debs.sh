#!/usr/bin/env bash
# Builds the Debian packages as `make package` does, into a folder of their own, for the tests
# that read them (package.deb, package.lintian, package.system).
set -euo pipefail
build=$1
out=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool >/dev/null; then
    echo "$tool not installed: no packages built"
    exit 77
  fi
done
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || {
  echo "FAIL: cpack: $(cat "$out/cpack.log")" >&2
  exit 1
}
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
