#!/usr/bin/env bash
# Lintian on both packages: no error and no warning.
set -euo pipefail
debs=$1
if ! ls "$debs"/velora-server_*.deb >/dev/null 2>&1; then
  echo "no packages built (package.build skipped)"
  exit 77
fi
if ! command -v lintian >/dev/null; then
  echo "lintian not installed: the packages are not checked"
  exit 77
fi
status=0
out=$(lintian --fail-on error,warning "$debs"/velora-server_*_amd64.deb \
  "$debs"/velora-desktop_*_amd64.deb 2>&1) || status=$?
# Its only remark as root is about running as root.
out=$(grep -v '^running with root privileges' <<<"$out" || true)
if [ $status -ne 0 ] || grep -qE '^[EW]: ' <<<"$out"; then
  echo "FAIL: lintian (status $status): $out" >&2
  exit 1
fi
echo "lintian: no errors, no warnings${out:+; $out}"
