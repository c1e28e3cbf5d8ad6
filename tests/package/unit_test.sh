#!/usr/bin/env bash
# The service's unit as systemd reads it: systemd-analyze verify, which must have nothing to say,
# and its sandbox, rated by systemd-analyze security at an exposure of 2.0 at most.
set -euo pipefail
build=$1
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze not installed: the unit is not verified"
  exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
# verify wants the program where ExecStart names it, and finds the man page through MANPATH.
mkdir "$root/unit"
sed "s|/usr/bin/velorad|$root/usr/bin/velorad|" "$root/usr/lib/systemd/system/velorad.service" \
  >"$root/unit/velorad.service"
out=$(MANPATH="$root/usr/share/man" systemd-analyze verify "$root/unit/velorad.service" 2>&1) || {
  echo "FAIL: $out" >&2
  exit 1
}
if [ -n "$out" ]; then
  echo "FAIL: systemd-analyze verify: $out" >&2
  exit 1
fi

# --threshold counts in tenths.
status=0
out=$(systemd-analyze security --offline=true --threshold=20 --no-pager "$root/unit/velorad.service" 2>&1) ||
  status=$?
exposure=$(grep -o 'Overall exposure level for velorad.service: .*' <<<"$out") || {
  echo "FAIL: systemd-analyze security: $out" >&2
  exit 1
}
if [ $status -ne 0 ]; then
  echo "FAIL: exposure above 2.0: $(grep '✗' <<<"$out")" >&2
  echo "$exposure" >&2
  exit 1
fi
echo "velorad.service verified; $exposure"
