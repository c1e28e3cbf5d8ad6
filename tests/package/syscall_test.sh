#!/usr/bin/env bash
# Every system call velorad makes is one the service's filter allows: velorad under strace for a
# few seconds on the virtual radio with demo calculators and on a pseudo-terminal, its calls
# against the unit's SystemCallFilter= as systemd-analyze expands it.
set -euo pipefail
build=$1
for tool in strace systemd-analyze python3; do
  if ! command -v $tool >/dev/null; then
    echo "$tool not installed: the system calls are not checked"
    exit 77
  fi
done
if ! strace -f -o /dev/null true 2>/dev/null; then
  echo "strace cannot trace here: the system calls are not checked"
  exit 77
fi
out=$(mktemp -d)
trap 'kill $pty_pid 2>/dev/null || true; rm -rf "$out"' EXIT
pty_pid=
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$out/root" cmake --install "$build" --prefix /usr --component server >/dev/null
unit="$out/root/usr/lib/systemd/system/velorad.service"
velorad="$build/app/velorad"

# A set of the filter: groups expanded, the allow list first, then what ~ takes away.
expand() {
  systemd-analyze syscall-filter "$1" | tail -n +2 | sed 's/#.*//' | awk 'NF { print $1 }' |
    while read -r name; do
      case $name in
        @*) expand "$name" ;;
        *) echo "$name" ;;
      esac
    done
}
: >"$out/allowed"
while read -r value; do
  if [[ $value == '~'* ]]; then
    for item in ${value#\~}; do expand "$item"; done | sort -u >"$out/denied"
    comm -23 "$out/allowed" "$out/denied" >"$out/kept"
    mv "$out/kept" "$out/allowed"
  else
    { cat "$out/allowed"; for item in $value; do expand "$item"; done; } | sort -u >"$out/next"
    mv "$out/next" "$out/allowed"
  fi
done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
[ -s "$out/allowed" ] || fail "the unit has no system call filter"

run() {  # name velorad-arguments...: in a working folder of its own, as postinst makes it
  local name=$1
  shift
  mkdir "$out/$name"
  cp -R "$out/root/usr/share/velora-server/content" "$out/$name/content"
  cp "$out/root/usr/share/velora-server/users.txt.template" "$out/$name/users.txt"
  strace -f -qq -o "$out/$name.trace" "$velorad" --workdir "$out/$name" \
    --settings "$out/root/etc/velora-server/velorad.settings" --log-level 4 "$@" >"$out/$name.out" 2>&1 ||
    fail "velorad $*: $(cat "$out/$name.out")"
}
# The status page is asked for while it runs, so that its calls are traced too.
python3 -c '
import re, sys, time, urllib.request
end = time.time() + 20
while time.time() < end:
    try:
        m = re.search(r"http://[0-9.]+:[0-9]+/", open(sys.argv[1]).read())
    except OSError:
        m = None
    if m:
        for path in ("", "metrics"):
            urllib.request.urlopen(m.group(0) + path, timeout=5).read()
        sys.exit(0)
    time.sleep(0.05)
sys.exit(1)
' "$out/virtual.out" &
http_pid=$!
run virtual --port virtual --demo 3 --seconds 3 --status-seconds 1 --http 127.0.0.1:0
wait $http_pid || fail "the status page did not answer: $(cat "$out/virtual.out")"
# The other end of the pseudo-terminal takes what the server sends.
python3 -c '
import os, pty, sys, time
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
end = time.time() + 30
while time.time() < end:
    try:
        os.read(master, 4096)
    except OSError:
        time.sleep(0.05)
' >"$out/pty-name" &
pty_pid=$!
for _ in $(seq 50); do [ -s "$out/pty-name" ] && break; sleep 0.1; done
run pty --port "$(cat "$out/pty-name")" --seconds 2
grep -q 'SENT' "$out/pty/veloraserverlog.txt" || fail "nothing sent on the pseudo-terminal"

# The calls of every process and thread, by the line that starts each (a call that another
# thread interrupts in the log goes on in a "<... resumed>" line).
calls=$(cat "$out/virtual.trace" "$out/pty.trace" |
  sed -nE 's/^[0-9]+ +([a-z_0-9]+)\(.*/\1/p' | sort -u)
[ "$(wc -l <<<"$calls")" -gt 20 ] || fail "too few calls traced: $calls"
outside=$(comm -23 <(echo "$calls") "$out/allowed")
[ -z "$outside" ] || fail "velorad calls what the unit's filter denies: $outside"
echo "velorad's $(wc -l <<<"$calls") system calls are all allowed: $(echo $calls)"
