#!/usr/bin/env bash
# Pictures of the windows for the README, taken under Xvfb: builds velora_screenshots and writes
# docs/main-window.png, docs/simulator.png, docs/station-list.png and docs/configuration.png.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
[ -f "$top/$build/build.ninja" ] || cmake -S "$top" -B "$top/$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WERROR=ON >/dev/null
cmake --build "$top/$build" -j 2 --target velora_screenshots
mkdir -p "$top/docs"
# A settings store of its own, so that the operator's settings stay untouched.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$top/$build/app/velora_screenshots" "$top/content" "$top/docs"
