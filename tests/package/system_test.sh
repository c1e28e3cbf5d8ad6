#!/usr/bin/env bash
# The packages installed with dpkg on a copy of this system (an overlay of / in a mount namespace
# of its own: nothing reaches the real system). An upgrade from the single package velora-server
# 3.0, which held both programs, keeps the operator's files and the service's enabled state; the
# menu entry's launcher starts velora in a working folder it prepares.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${1:-}" != --inside ]; then
  debs=$1
  if ! ls "$debs"/velora-server_*.deb >/dev/null 2>&1; then
    echo "no packages built (package.build skipped)"
    exit 77
  fi
  if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null || ! command -v dpkg-deb >/dev/null; then
    echo "needs root, unshare and dpkg-deb: the packages are not installed"
    exit 77
  fi
  server=$(ls "$debs"/velora-server_*_amd64.deb)
  desktop=$(ls "$debs"/velora-desktop_*_amd64.deb)
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # The 3.0 package as it was: both programs and the server's files and scripts in one package.
  old=$tmp/old
  dpkg-deb -R "$server" "$old"
  dpkg-deb -x "$desktop" "$old"
  rm -rf "$old"/DEBIAN/md5sums "$old"/usr/share/doc/velora-desktop "$old"/usr/libexec \
    "$old"/usr/share/applications "$old"/usr/share/icons "$old"/usr/share/man/man1
  depends="adduser, $(dpkg-deb -f "$desktop" Depends | sed 's/velora-server ([^)]*), //')"
  sed -i -e 's/^Version: .*/Version: 3.0/' -e "s/^Depends: .*/Depends: $depends/" \
    "$old/DEBIAN/control"
  dpkg-deb -b "$old" "$tmp/velora-server_3.0_amd64.deb" >/dev/null
  mkdir "$tmp/debs"
  cp "$server" "$tmp/debs/velora-server_new.deb"
  cp "$desktop" "$tmp/debs/velora-desktop_new.deb"
  mv "$tmp/velora-server_3.0_amd64.deb" "$tmp/debs/"
  status=0
  unshare --mount --propagation private bash "$0" --inside "$tmp" || status=$?
  exit $status
fi

tmp=$2
layers=$tmp/layers
root=$tmp/root
mkdir -p "$layers" "$root"
mount -t tmpfs tmpfs "$layers"
mkdir "$layers/upper" "$layers/work"
if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$layers/upper,workdir=$layers/work" "$root" \
  2>/dev/null; then
  echo "no overlay file system here: the packages are not installed"
  exit 77
fi
mount --bind /dev "$root/dev"
mount -t proc proc "$root/proc"
# No systemd runs in the copy, so the scripts leave the service alone.
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
cp "$tmp"/debs/*.deb "$root/tmp/"
on_copy() { chroot "$root" "$@"; }
export DEBIAN_FRONTEND=noninteractive
# man-db's index is of no use here and slow.
rm -f "$root/var/lib/man-db/auto-update"
log=$layers/dpkg.log
dpkg_on_copy() { on_copy dpkg "$@" >>"$log" 2>&1 || fail "dpkg $*: $(cat "$log")"; }

# A box that may have had the packages: without them, and without the service's folder.
on_copy dpkg --purge velora-desktop velora-server >/dev/null 2>&1 || true
rm -rf "$root/var/lib/velora-server"

dpkg_on_copy -i /tmp/velora-server_3.0_amd64.deb
[ -x "$root/usr/bin/velora" ] || fail "the old package has no velora"
# The operator's installation: the service enabled, its port chosen, accounts, a page changed.
on_copy systemctl enable velorad.service >>"$log" 2>&1 || fail "systemctl enable: $(cat "$log")"
sed -i 's|^VELORAD_PORT=.*|VELORAD_PORT=/dev/ttyS1|' "$root/etc/default/velorad"
work=$root/var/lib/velora-server
printf 'the operator'"'"'s accounts\r\n' >"$work/users.txt"
echo "the operator's line" >>"$work/content/hilfe.txt"
cp "$work/content/hilfe.txt" "$layers/hilfe.txt"

# Both at once as `apt install ./velora-server_*.deb ./velora-desktop_*.deb` does, keeping the
# changed configuration file as the operator answers dpkg's question. velora-desktop first, as
# apt may order it: it takes /usr/bin/velora from the old velora-server, which it breaks, while
# that is still installed.
dpkg_on_copy --force-confold --auto-deconfigure -i /tmp/velora-desktop_new.deb /tmp/velora-server_new.deb

states=$(on_copy dpkg-query -W -f='${Package} ${Status}\n' velora-server velora-desktop)
[ "$(grep -c ' install ok installed$' <<<"$states")" -eq 2 ] || fail "after the upgrade: $states"
new=$(dpkg-deb -f "$tmp/debs/velora-server_new.deb" Version)
[ "$(on_copy dpkg-query -W -f='${Version}' velora-server)" = "$new" ] || fail "velora-server not upgraded"
[ "$(on_copy dpkg -S /usr/bin/velora)" = "velora-desktop: /usr/bin/velora" ] ||
  fail "/usr/bin/velora: $(on_copy dpkg -S /usr/bin/velora 2>&1)"
[ "$(on_copy systemctl is-enabled velorad.service 2>&1)" = enabled ] ||
  fail "the service is no longer enabled: $(on_copy systemctl is-enabled velorad.service 2>&1)"
grep -qx 'VELORAD_PORT=/dev/ttyS1' "$root/etc/default/velorad" ||
  fail "/etc/default/velorad lost the operator's port: $(cat "$root/etc/default/velorad")"
[ "$(cat "$work/users.txt")" = "$(printf 'the operator'"'"'s accounts\r')" ] || fail "users.txt changed"
cmp -s "$work/content/hilfe.txt" "$layers/hilfe.txt" || fail "the operator's page changed"
[ -z "$(on_copy dpkg --audit)" ] || fail "dpkg --audit: $(on_copy dpkg --audit)"

# The menu entry's launcher, for a user without a working folder yet.
home=$root/tmp/home
mkdir "$home"
env -u XDG_DATA_HOME HOME=/tmp/home QT_QPA_PLATFORM=offscreen \
  chroot "$root" /usr/libexec/velora-desktop/velora-menu >"$layers/velora.log" 2>&1 &
pid=$!
folder=$home/.local/share/velora-server
for _ in $(seq 100); do
  [ "$(cat /proc/$pid/comm 2>/dev/null)" = velora ] && [ "$(readlink /proc/$pid/cwd)" = "$folder" ] &&
    break
  sleep 0.1
done
[ "$(cat /proc/$pid/comm 2>/dev/null)" = velora ] ||
  fail "the launcher did not start velora: $(cat "$layers/velora.log")"
[ "$(readlink /proc/$pid/cwd)" = "$folder" ] || fail "velora runs in $(readlink /proc/$pid/cwd)"
{ kill -KILL $pid && wait $pid; } 2>/dev/null || true
[ "$(stat -c %a "$folder")" = 700 ] || fail "working folder mode $(stat -c %a "$folder")"
[ "$(stat -c %a "$folder/users.txt")" = 600 ] || fail "users.txt mode $(stat -c %a "$folder/users.txt")"
cmp -s "$folder/content/menumain.txt" "$root/usr/share/velora-server/content/menumain.txt" ||
  fail "no default pages in the working folder"
echo "upgrade from 3.0 to $new: operator's files and enabled service kept; the launcher works"
