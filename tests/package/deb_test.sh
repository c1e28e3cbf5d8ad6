#!/usr/bin/env bash
# The two Debian packages as built by package.build: their control data and dependencies, the
# files each holds, the changelog's version, and the desktop entry.
set -euo pipefail
build=$1
source=$2
debs=$3
if ! ls "$debs"/velora-server_*.deb >/dev/null 2>&1; then
  echo "no packages built (package.build skipped)"
  exit 77
fi
for tool in dpkg-deb dpkg-parsechangelog desktop-file-validate; do
  if ! command -v $tool >/dev/null; then
    echo "$tool not installed: the packages are not checked"
    exit 77
  fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

server=$(ls "$debs"/velora-server_*_amd64.deb)
desktop=$(ls "$debs"/velora-desktop_*_amd64.deb)
version=$(dpkg-deb -f "$server" Version)
[ "$(dpkg-deb -f "$desktop" Version)" = "$version" ] || fail "versions differ"

has() {  # field-value package: the comma-separated list holds package (with any version)
  grep -Eq "(^|, )$2( \(|,|$)" <<<"$1"
}
server_depends=$(dpkg-deb -f "$server" Depends)
for lib in adduser libqt6core6 libqt6network6 libqt6serialport6; do
  has "$server_depends" $lib || fail "velora-server's Depends lacks $lib: $server_depends"
done
# A headless box gets no window system.
for lib in libqt6gui6 libqt6widgets6 libqt6dbus6 libqt6opengl6; do
  has "$server_depends" $lib && fail "velora-server depends on $lib: $server_depends"
done
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
grep -Eq "(^|, )velora-server \(= $version\)(,|$)" <<<"$desktop_depends" ||
  fail "velora-desktop does not depend on velora-server (= $version): $desktop_depends"
for lib in libqt6gui6 libqt6widgets6; do
  has "$desktop_depends" $lib || fail "velora-desktop's Depends lacks $lib: $desktop_depends"
done
# It takes /usr/bin/velora over from the single package of 3.0.
for field in Replaces Breaks; do
  [ "$(dpkg-deb -f "$desktop" $field)" = "velora-server (<< 3.1)" ] ||
    fail "velora-desktop's $field: $(dpkg-deb -f "$desktop" $field)"
done
# Every Qt library a program loads is declared by the program's own package.
check_loads() {  # program depends
  for lib in $(ldd "$build/app/$1" | grep -o 'libQt6[A-Za-z]*' | sort -u); do
    [ $lib = libQt6DBus ] && continue  # through libqt6gui6
    has "$2" "$(echo "$lib" | tr 'A-Z' 'a-z')6" || fail "$1 loads $lib, Depends: $2"
  done
}
check_loads velorad "$server_depends"
check_loads velora "$desktop_depends"

dpkg-deb --ctrl-tarfile "$server" | tar -x -C "$out" ./conffiles ./postinst ./prerm ./postrm
[ "$(cat "$out/conffiles")" = "$(printf '/etc/default/velorad\n/etc/velora-server/velorad.settings')" ] ||
  fail "conffiles: $(cat "$out/conffiles")"
for script in postinst prerm postrm; do
  [ -x "$out/$script" ] || fail "$script not executable"
  sh -n "$out/$script" || fail "$script"
done

# The files of each package, exactly: the server's content is the source's content folder.
files() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's|^\./||' | sort; }
expected_server=$(
  printf '%s\n' usr/bin/velorad usr/lib/systemd/system/velorad.service \
    usr/share/man/man8/velorad.8.gz usr/share/velora-server/users.txt.template \
    usr/share/doc/velora-server/README.md usr/share/doc/velora-server/copyright \
    usr/share/doc/velora-server/changelog.gz etc/default/velorad etc/velora-server/velorad.settings
  (cd "$source/content" && find . -type f | sed 's|^\./|usr/share/velora-server/content/|')
)
[ "$(files "$server")" = "$(sort <<<"$expected_server")" ] ||
  fail "velora-server's files: $(diff <(files "$server") <(sort <<<"$expected_server"))"
expected_desktop=$(printf '%s\n' usr/bin/velora usr/libexec/velora-desktop/velora-menu \
  usr/share/applications/velora.desktop usr/share/icons/hicolor/scalable/apps/velora.svg \
  usr/share/man/man1/velora.1.gz usr/share/doc/velora-desktop/copyright \
  usr/share/doc/velora-desktop/changelog.gz | sort)
[ "$(files "$desktop")" = "$expected_desktop" ] ||
  fail "velora-desktop's files: $(diff <(files "$desktop") <(echo "$expected_desktop"))"

mkdir "$out/root"
dpkg -x "$server" "$out/root"
dpkg -x "$desktop" "$out/root"
changelog_version=$(zcat "$out/root/usr/share/doc/velora-server/changelog.gz" | dpkg-parsechangelog -l- -SVersion)
[ "$changelog_version" = "$version" ] || fail "the changelog ends at $changelog_version, not $version"
"$out/root/usr/bin/velorad" --help | grep -q -- '--check' || fail "the packaged velorad does not run"

# The menu entry: valid, and what it starts and shows is in the package.
entry="$out/root/usr/share/applications/velora.desktop"
warnings=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $warnings"
[ -z "$warnings" ] || fail "desktop-file-validate: $warnings"
exec=$(sed -n 's/^Exec=//p' "$entry")
[ -x "$out/root$exec" ] || fail "the entry starts $exec, which is not in the package"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$out/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon"
echo "$(basename "$server"): Depends: $server_depends"
echo "$(basename "$desktop"): Depends: $desktop_depends"
