#!/usr/bin/env bash
# The Debian package, built as `make package` builds it (into a folder of its own): its control
# data, its dependencies and its files, unpacked with dpkg -x.
set -euo pipefail
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool >/dev/null; then
    echo "$tool not installed: no package built"
    exit 77
  fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$out/cpack.log")"
deb=$(ls "$out"/velora-server_*_amd64.deb)
[ -f "$deb" ] || fail "no package in $out"

info=$(dpkg-deb -f "$deb")
grep -q '^Package: velora-server$' <<<"$info" || fail "$info"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in adduser libqt6core6 libqt6serialport6 libqt6gui6 libqt6widgets6; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# Every Qt library the programs load is declared (ldd against the Depends).
for program in velorad velora; do
  for lib in $(ldd "$build/app/$program" | grep -o 'libQt6[A-Za-z]*' | sort -u); do
    case $lib in
      libQt6DBus) continue ;;  # through libqt6gui6
    esac
    package=$(echo "$lib" | tr 'A-Z' 'a-z')6
    grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "$program loads $lib, Depends: $depends"
  done
done

dpkg-deb --ctrl-tarfile "$deb" | tar -x -C "$out" ./conffiles ./postinst ./prerm ./postrm
[ "$(cat "$out/conffiles")" = "$(printf '/etc/default/velorad\n/etc/velora-server/velorad.settings')" ] ||
  fail "conffiles: $(cat "$out/conffiles")"
for script in postinst prerm postrm; do
  [ -x "$out/$script" ] || fail "$script not executable"
  sh -n "$out/$script" || fail "$script"
done

mkdir "$out/root"
dpkg -x "$deb" "$out/root"
for f in usr/bin/velorad usr/bin/velora usr/lib/systemd/system/velorad.service \
  usr/share/man/man8/velorad.8.gz usr/share/velora-server/content/menumain.txt \
  usr/share/velora-server/users.txt.template usr/share/doc/velora-server/README.md \
  etc/default/velorad etc/velora-server/velorad.settings; do
  [ -f "$out/root/$f" ] || fail "not in the package: /$f"
done
"$out/root/usr/bin/velorad" --help | grep -q -- '--check' || fail "the packaged velorad does not run"
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Installed-Size) kB; Depends: $depends"
