#!/usr/bin/env bash
# The status page for the README, as headless chromium shows it: builds velorad, runs it on the
# virtual radio with three demo calculators and writes docs/status-page.png.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
[ -f "$top/$build/build.ninja" ] || cmake -S "$top" -B "$top/$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WERROR=ON >/dev/null
cmake --build "$top/$build" -j 2 --target velorad
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid"; rm -rf "$work"' EXIT
ln -s "$top/content" "$work/content"
: >"$work/settings.conf"
"$top/$build/app/velorad" --workdir "$work" --port virtual --settings "$work/settings.conf" \
  --demo 3 --status-seconds 0 --log-level 0 --http 127.0.0.1:0 --seconds 120 >"$work/out" 2>&1 &
pid=$!
# The address it listens on, then a minute of traffic for the graph and the counters.
for _ in $(seq 100); do grep -q '^http://' "$work/out" && break; sleep 0.1; done
url=$(grep -m1 '^http://' "$work/out") || { cat "$work/out" >&2; exit 1; }
sleep 60
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --no-proxy-server \
  --hide-scrollbars --user-data-dir="$work/chromium" --window-size=1100,1000 \
  --screenshot="$top/docs/status-page.png" "$url" 2>/dev/null
echo "docs/status-page.png from $url"
