#!/usr/bin/env bash
# What the package holds: the layout it promises, no test program,
# benchmark, fuzzing harness or path of the build in it, programs that
# find their libraries beside themselves only and read Jet files with our
# own reader (no mdbtools library in Depends or linked), a valid desktop
# entry, and
# lintian without an error or a warning (those it is told to leave are
# explained in packaging/korvel.lintian-overrides).
#   contents_test.sh BUILD_DIR VERSION
set -euo pipefail
BUILD="$1"
VERSION="$2"
deb="$BUILD/korvel_${VERSION}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package $deb (Package.Build makes it)"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "$*"; failures=$((failures + 1)); }

dpkg-deb -c "$deb" | awk '{ sub(/^\./, "", $6); print $6 ($7 == "->" ? " -> " $8 : "") }' >"$work/list"
for path in /usr/lib/korvel/korvel /usr/lib/korvel/velmora /usr/lib/korvel/libkorvel.so \
            /usr/lib/korvel/DTSModelList.mdb "/usr/bin/korvel -> ../lib/korvel/korvel" \
            "/usr/bin/velmora -> ../lib/korvel/velmora" /usr/share/korvel/create60.sql \
            /usr/share/man/man1/korvel.1.gz /usr/share/man/man1/velmora.1.gz \
            /usr/share/applications/velmora.desktop /usr/share/icons/hicolor/scalable/apps/velmora.svg \
            /usr/share/icons/hicolor/48x48/apps/velmora.png /usr/share/bash-completion/completions/korvel \
            /usr/share/doc/korvel/copyright /usr/share/doc/korvel/changelog.gz; do
  grep -qxF "$path" "$work/list" || fail "missing: $path"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qxF "/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png" "$work/list" || fail "missing: the ${size}px icon"
done
while read -r path; do
  case "$path" in
    *test* | *bench* | *corpus* | *fuzz* | *screenshots* | *probe* | *sql_script_runner*) fail "not for users: $path" ;;
    *"$BUILD"* | *CMake* | *_CPack_* | */work/*) fail "a path of the build: $path" ;;
  esac
done <"$work/list"

dpkg-deb -x "$deb" "$work/root"
for elf in "$work"/root/usr/lib/korvel/*; do
  if [ "$(head -c 4 "$elf" | od -An -c | tr -d ' ')" != '177ELF' ]; then continue; fi
  runpath="$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  [ "$runpath" = '$ORIGIN' ] || fail "${elf##*/} finds libraries in '$runpath', not only beside itself"
  ! grep -qF "$BUILD" "$elf" || fail "${elf##*/} names the build folder $BUILD"
done
depends="$(dpkg-deb -f "$deb" Depends)"
case "$depends" in *mdb*) fail "Depends names an mdbtools library: $depends" ;; esac
for elf in "$work"/root/usr/lib/korvel/*; do
  if readelf -d "$elf" 2>/dev/null | grep -q 'NEEDED.*libmdb'; then fail "${elf##*/} links libmdb"; fi
done
desktop-file-validate "$work/root/usr/share/applications/velmora.desktop" || fail "desktop-file-validate refused velmora.desktop"

if command -v lintian >/dev/null; then
  lintian_rc=0
  lintian --fail-on error,warning --color never "$deb" >"$work/lintian" 2>&1 || lintian_rc=$?
  grep -v "running with root privileges" "$work/lintian" || true
  [ "$lintian_rc" -eq 0 ] || fail "lintian found errors or warnings (above)"
else
  fail "lintian is not installed (scripts/install-deps installs it)"
fi

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "$(wc -l <"$work/list") entries, $(du -k "$deb" | cut -f1) KiB; lintian: no errors, no warnings"
