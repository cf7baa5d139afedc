#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh Wine prefix with a virtual
# X display:
#   1. a silent install (/S) puts the programs into Program Files\Velmora,
#      the Start-menu entries and the uninstall entry where they belong;
#   2. the wizard's pages, drawn by the installed programs through Windows'
#      own platform and fonts, are saved as PNG files in OUT: the welcome
#      page, the model list, and the progress page after a run of the
#      default scheme into a file: server, with its reconciliation; the
#      run's PDF report holds its Chinese text and the source's SHA-256;
#   3. korvel.exe, run from the install folder, lists the 8 schemes;
#   4. a silent uninstall leaves neither the folder, nor the Start-menu
#      entries, nor the uninstall entry.
#
#   installer.sh SETUP_EXE LINUX_BIN WINDOWS_BIN OUT
# SETUP_EXE is scripts/package-windows's installer; LINUX_BIN holds the
# Linux korvel (which prepares the data) and WINDOWS_BIN the Windows build's
# velmora_screenshots.exe, which is copied into the install folder for the
# pictures and removed before the uninstall. Needs wine64, xvfb-run and
# pdftotext.
# Prints one line per check; exits 1 when any failed.
set -uo pipefail
SETUP="$1"
LINUX_BIN="$2"
WINDOWS_BIN="$3"
OUT="$(mkdir -p "$4" && cd "$4" && pwd)"
WINE="${WINE64:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver64}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/velmora-setup.XXXXXX")"
trap '"$WINESERVER" -k 2>/dev/null; rm -rf "$WORK"' EXIT
export WINEPREFIX="$WORK/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VELMORA_SHOTS_PASSWORD="shots-Sa-Pass1"
failures=0
pass() { echo "ok    $*"; }
fail() { echo "FAIL  $*"; failures=$((failures + 1)); }
wine() { "$WINE" "$@"; }
# Waits until every program of the prefix has ended (an uninstaller goes
# on in a copy of itself after the one started returns).
settle() { "$WINESERVER" -w; }

# The prefix, with a display for the programs that show windows.
xvfb-run -a -s "-screen 0 1280x1024x24" true >/dev/null 2>&1 || { echo "FAIL  xvfb-run does not work"; exit 1; }
wine wineboot --init >/dev/null 2>&1
settle
# Windows' Chinese fonts, which Wine lacks, are Noto CJK under their names.
for family in SimSun 宋体 NSimSun "Microsoft YaHei" 微软雅黑 SimHei 黑体; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$family" /d "Noto Sans CJK SC" /f >/dev/null 2>&1
done
program_files="$WINEPREFIX/drive_c/Program Files/Velmora"
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
# A value of the uninstall entry, read from regedit's export (UTF-16, so
# that Chinese survives, where reg query writes in the console's code page).
reg_value() {
  wine regedit /E "Z:$WORK/entry.reg" "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora" \
    >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$WORK/entry.reg" | tr -d '\r' | sed -n "s/^\"$1\"=\"\(.*\)\"$/\1/p" | sed 's/\\\\/\\/g; s/\\"/"/g'
}

# 1. Install.
wine "$SETUP" /S
rc=$?
settle
[ $rc -eq 0 ] && pass "silent install: exit 0" || fail "silent install: exit $rc"
missing=""
for f in velmora.exe korvel.exe korvel.dll libvkplatform.dll DTSModelList.mdb uninstall.exe; do
  [ -f "$program_files/$f" ] || missing="$missing $f"
done
[ -z "$missing" ] && pass "Program Files\\Velmora holds the programs, the model list and the uninstaller" ||
  fail "missing from Program Files\\Velmora:$missing"
if [ -f "$start_menu/Velmora 升级向导.lnk" ] && [ -f "$start_menu/卸载 Velmora 升级向导.lnk" ]; then
  pass "Start menu: Velmora 升级向导 and its uninstaller"
else
  fail "Start menu: $(ls "$start_menu" 2>&1 | tr '\n' ' ')"
fi
version="$(reg_value DisplayVersion)"
publisher="$(reg_value Publisher)"
uninstaller="$(reg_value UninstallString)"
if [ "$(reg_value DisplayName)" = "Velmora 升级向导" ] && [ -n "$version" ] && [ -n "$publisher" ] &&
   [ "$uninstaller" = '"C:\Program Files\Velmora\uninstall.exe"' ]; then
  pass "uninstall entry: Velmora 升级向导 $version, $publisher"
else
  fail "uninstall entry: name '$(reg_value DisplayName)', version '$version', publisher '$publisher', uninstaller '$uninstaller'"
fi

# 2. The wizard's pages, drawn by the installed programs.
quiet() { local out; out="$("$@" 2>&1)" || { echo "$out" >&2; return 1; }; }
quiet "$LINUX_BIN/korvel" create-database --server "file:$WORK/server" --database Sales60 \
  --password-env VELMORA_SHOTS_PASSWORD || fail "create-database"
quiet "$LINUX_BIN/korvel" sample --out "$WORK/shop56.mdb" --scale 1 || fail "sample"
printf 'Code\tName\tDepID\nE1\t张三\t1\nE2\t李四\t1\nE3\t\\N\t2\nE4\t赵六\t2\n' >"$WORK/employees.tsv"
quiet "$LINUX_BIN/korvel" mdb-write --out "$WORK/failing56.mdb" "Employee=$WORK/employees.tsv" || fail "mdb-write"
cp "$WINDOWS_BIN/velmora_screenshots.exe" "$program_files/"
xvfb-run -a -s "-screen 0 1280x1024x24" "$WINE" "$program_files/velmora_screenshots.exe" --out "Z:$OUT" \
  --server "file:Z:$WORK/server" --user sa --password-env VELMORA_SHOTS_PASSWORD --database Sales60 \
  --model "导入人员档案" --source "Z:$WORK/shop56.mdb" --failing-source "Z:$WORK/failing56.mdb" \
  --full-model "5.6升级到6.0默认方案" --report "Z:$WORK/report.pdf" >"$WORK/shots.log" 2>&1
rc=$?
settle
rm -f "$program_files/velmora_screenshots.exe"
pictures=("$OUT"/1-welcome.png "$OUT"/2-model.png "$OUT"/7-progress-full.png)
absent=""
for p in "${pictures[@]}"; do [ -s "$p" ] || absent="$absent ${p##*/}"; done
if [ $rc -eq 0 ] && [ -z "$absent" ]; then
  pass "the wizard's pages drawn into $OUT: $(cd "$OUT" && ls *.png | tr '\n' ' ')"
else
  fail "the wizard's pages: exit $rc, missing:$absent; $(tail -n 5 "$WORK/shots.log" | tr '\n' ' ')"
fi
# "升级完成！" is said only when the reconciliation matches: once after the
# employee run, once after the default scheme's.
[ "$(grep -c "提示框：升级完成！" "$WORK/shots.log")" -eq 2 ] &&
  pass "both runs finished and the default scheme's reconciliation matches" ||
  fail "the runs' messages: $(grep "提示框" "$WORK/shots.log" | tr '\n' ' ')"

# The default scheme's report, saved by the wizard: Chinese text a reader
# can take out of the PDF, with the source's SHA-256.
sha="$(sha256sum "$WORK/shop56.mdb" | cut -d' ' -f1)"
report_text="$(pdftotext "$WORK/report.pdf" - 2>&1)"
if printf '%s' "$report_text" | grep -q "Velmora 升级报告" && printf '%s' "$report_text" | tr -d ' \n' | grep -q "$sha"; then
  pass "the wizard's PDF report: its Chinese text and the source's SHA-256 read back"
else
  fail "the wizard's PDF report: $(printf '%s' "$report_text" | head -n 5 | tr '\n' ' ')"
fi

# The wizard itself, as the Start menu starts it: it answers --version,
# and it opens its window and stays up until closed.
version_line="$(wine "$program_files/velmora.exe" --version 2>&1 | tr -d '\r')"
[ "$version_line" = "velmora $version" ] && pass "velmora.exe --version: $version_line" ||
  fail "velmora.exe --version: '$version_line'"
xvfb-run -a -s "-screen 0 1280x1024x24" "$WINE" "$program_files/velmora.exe" >"$WORK/velmora.log" 2>&1 &
wizard=$!
sleep 10
if kill -0 "$wizard" 2>/dev/null; then
  pass "velmora.exe opens and stays open"
else
  fail "velmora.exe ended by itself: $(tr '\n' ' ' <"$WORK/velmora.log")"
fi
"$WINESERVER" -k 2>/dev/null
wait "$wizard" 2>/dev/null

# 3. korvel.exe from the install folder.
models="$(cd "$program_files" && wine ./korvel.exe models 2>&1 | tr -d '\r')"
count="$(printf '%s\n' "$models" | grep -c "$(printf '\tC5to6')")"
[ "$count" -eq 8 ] && pass "korvel.exe models, run from the install folder, lists 8 schemes" ||
  fail "korvel.exe models: $count schemes: $models"

# 4. Uninstall, after the wizard has remembered its last choices (what
# QSettings keeps for it in the registry).
wine reg add 'HKCU\Software\Velmora\Velmora' /v lastServer /d "file:D:/server" /f >/dev/null 2>&1
wine "$program_files/uninstall.exe" /S
settle
leftover=""
[ -e "$program_files" ] && leftover="$leftover the folder ($(ls "$program_files" | tr '\n' ' '))"
[ -e "$start_menu" ] && leftover="$leftover the Start-menu folder"
wine reg query "$uninstall_key" >/dev/null 2>&1 && leftover="$leftover the uninstall entry"
wine reg query 'HKCU\Software\Velmora' >/dev/null 2>&1 && leftover="$leftover the wizard's settings"
[ -z "$leftover" ] && pass "silent uninstall leaves nothing behind" || fail "after the uninstall:$leftover"

exit $((failures > 0))
