#!/usr/bin/env bash
# Starts the operator program velora from a working folder of its own (run/). On first use the
# folder gets the bundled content and a users.txt with an administrator (ADMIN, password admin)
# and a guest (GAST, password gast); neither is ever overwritten. Without a display the headless
# server velorad runs instead, on the virtual radio with three demo calculators.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
run="$top/run"
mkdir -p "$run"
[ -e "$run/content" ] || ln -s "$top/content" "$run/content"

# users.txt as the server writes it: Windows-1252, CR LF, one value per line.
account() {  # name password isAdmin
  printf 'Username=%s\r\nPasswort=%s\r\n%s\r\n' "$1" "$2" "$3"
  printf '\r\n%.0s' 1 2 3 4 5 6 7 8  # POP3 host, user, password, SMTP host, user, password, Reply-To, From
  printf '0\r\n'                     # no stored messages
}
if [ ! -e "$run/users.txt" ]; then
  {
    printf 'Die Zeilenanzahl und -struktur in dieser Datei darf nicht ver\xe4ndert werden!\r\n'
    printf 'Anzahl der Eintr\xe4ge=2\r\n0\r\n'
    account ADMIN admin true
    account GAST gast false
  } >"$run/users.txt.new"
  mv "$run/users.txt.new" "$run/users.txt"
  echo "run/users.txt created: ADMIN (password admin) and GAST (password gast)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): starting the headless server"
  echo "velorad on the virtual radio with three demo calculators instead. Ctrl+C stops it."
  cd "$run" && exec "$top/$build/app/velorad" --workdir "$run" --port virtual --demo 3
fi
cd "$run" && exec "$top/$build/app/velora"
