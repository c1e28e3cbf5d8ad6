#!/usr/bin/env bash
# cmake --install into a temporary root: the files the packages hold, the man pages, and
# velorad --check on a working folder made as the server package's postinst makes it.
set -euo pipefail
build=$1
source=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

expected=(
  usr/bin/velorad
  usr/bin/velora
  usr/libexec/velora-desktop/velora-menu
  usr/share/velora-server/users.txt.template
  usr/share/doc/velora-server/README.md
  usr/share/doc/velora-server/copyright
  usr/share/doc/velora-server/changelog.gz
  usr/share/doc/velora-desktop/copyright
  usr/share/doc/velora-desktop/changelog.gz
  usr/share/man/man8/velorad.8.gz
  usr/share/man/man1/velora.1.gz
  usr/share/applications/velora.desktop
  usr/share/icons/hicolor/scalable/apps/velora.svg
  usr/lib/systemd/system/velorad.service
  etc/default/velorad
  etc/velora-server/velorad.settings
)
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "not installed: /$f"
done
for program in usr/bin/velorad usr/bin/velora usr/libexec/velora-desktop/velora-menu; do
  [ -x "$root/$program" ] || fail "/$program not executable"
done
# Every file of the content folder, unchanged.
for f in "$source"/content/*; do
  cmp -s "$f" "$root/usr/share/velora-server/content/$(basename "$f")" ||
    fail "content not installed as it is: $(basename "$f")"
done
# Nothing besides: a stray file would be a stray file in the package.
content_count=$(find "$source/content" -type f | wc -l)
total=$(find "$root" -type f | wc -l)
[ "$total" -eq $((${#expected[@]} + content_count)) ] ||
  fail "unexpected files: $(cd "$root" && find . -type f | grep -v /content/ | sort)"

unit="$root/usr/lib/systemd/system/velorad.service"
grep -qx 'ExecStart=/usr/bin/velorad --workdir /var/lib/velora-server --settings /etc/velora-server/velorad.settings --port ${VELORAD_PORT} $VELORAD_OPTIONS' "$unit" ||
  fail "ExecStart: $(grep ExecStart "$unit")"

if command -v groff >/dev/null; then
  for page in man8/velorad.8.gz man1/velora.1.gz; do
    warnings=$(zcat "$root/usr/share/man/$page" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
  done
else
  echo "groff not installed: man pages not rendered"
fi

# The working folder as postinst leaves it: the pages, no users.txt yet.
work="$root/var/lib/velora-server"
mkdir -p "$work"
cp -R "$root/usr/share/velora-server/content" "$work/content"
check() {
  "$root/usr/bin/velorad" --check --workdir "$work" \
    --settings "$root/etc/velora-server/velorad.settings" --port virtual
}
out=$(check) || fail "check of the fresh installation: $out"
grep -q '^note: users.txt not found' <<<"$out" || fail "no note about users.txt: $out"
grep -q '^velorad --check: no problems$' <<<"$out" || fail "$out"

# With the README's first account.
cp "$root/usr/share/velora-server/users.txt.template" "$work/users.txt"
out=$(check) || fail "check with the template: $out"
grep -q '^users.txt: 1 account (1 administrator), 0 stored messages$' <<<"$out" || fail "$out"

# A broken page fails the check, naming file and line.
sed -i 's/^menukonfiguration\r$/menukonfig\r/' "$work/content/menumain.txt"
if out=$(check); then fail "a broken page passed: $out"; fi
grep -q '^./content/menumain.txt:15: no page menukonfig.txt for the action menukonfig$' <<<"$out" ||
  fail "$out"
echo "installed: ${#expected[@]} files and $content_count content files; velorad --check as expected"
