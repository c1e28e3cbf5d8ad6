#!/usr/bin/env bash
# Starts what the project can run, from a working folder of its own (run/).
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/run"
[ -e "$top/run/content" ] || ln -s "$top/content" "$top/run/content"
if [ -x "$top/$build/app/velora" ]; then
  cd "$top/run" && exec "$top/$build/app/velora"
elif [ -x "$top/$build/app/velorad" ]; then
  cd "$top/run" && exec "$top/$build/app/velorad" --workdir "$top/run" --port virtual --demo 3
else
  echo "Nothing to run yet: the server programs are not built. The libraries and tests are."
fi
