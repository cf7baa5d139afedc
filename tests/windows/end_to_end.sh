#!/usr/bin/env bash
# korvel.exe under Wine, end to end, against the Linux build of the same
# sources:
#   1. sample, check, then run C5to6Normal into an embedded server in a
#      folder whose path holds Chinese characters and a space: exit 0, the
#      reconciliation matches, and the PDF report's text holds the source's
#      SHA-256;
#   2. that destination equals, row by row, the one the Linux korvel writes
#      from the same source;
#   3. run against the Linux korvel serve on loopback (the network
#      destination), ending with the same destination;
#   4. a row the destination refuses: the same message and exit code as on
#      Linux.
#
#   end_to_end.sh LINUX_BIN WINDOWS_BIN
# Needs wine64 and pdftotext. Prints one line per check; exits 1 when any
# failed.
set -uo pipefail
LINUX_BIN="$1"
WINDOWS_BIN="$2"
WINE="${WINE64:-/usr/lib/wine/wine64}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/korvel-e2e.XXXXXX")"
trap 'kill $SERVE_PID 2>/dev/null; rm -rf "$WORK"' EXIT
SERVE_PID=""
export WINEPREFIX="${KORVEL_WINE_PREFIX:-$WORK/wine}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export KORVEL_E2E_PASSWORD="e2e-Sa-Pass1"
failures=0
pass() { echo "ok    $*"; }
fail() { echo "FAIL  $*"; failures=$((failures + 1)); }

# korvel.exe with Windows paths: every argument "Z:/..." is the same file.
win() { "$WINE" "$WINDOWS_BIN/korvel.exe" "$@"; }
winpath() { echo "Z:$1"; }
lin() { "$LINUX_BIN/korvel" "$@"; }

# Every table of Sales60 on `server`, each row a line, sorted: what the
# destination holds, whoever wrote it. The times a run stamps its rows
# with (today's) are the one thing two runs cannot share.
TODAY="$(date +%F)"
dump() {
  local server="$1" out="$2" table
  : >"$out"
  for table in $(lin sql --server "$server" --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 \
                   "select name from sys.tables order by name" | tail -n +2); do
    echo "== $table" >>"$out"
    lin sql --server "$server" --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 \
      "select * from [$table]" | tail -n +2 | sed "s/$TODAY [0-9:.]*/(today)/g" | LC_ALL=C sort >>"$out"
  done
}

# 1. The whole job under Wine, into a folder named in Chinese with a space.
"$WINE" wineboot --init >/dev/null 2>&1 || true
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts" && cp /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc "$fonts/" 2>/dev/null
SERVER_DIR="$WORK/升级 服务器"
win create-database --server "file:$(winpath "$SERVER_DIR")" --database Sales60 \
  --password-env KORVEL_E2E_PASSWORD >"$WORK/create.log" 2>&1 || fail "create-database: $(tail -n 3 "$WORK/create.log")"
win sample --out "$(winpath "$WORK/shop56.mdb")" --scale 2 --quiet >"$WORK/sample.log" 2>&1 ||
  fail "sample: $(tail -n 3 "$WORK/sample.log")"
# The sample holds a name longer than its 6.0 column: the check says so
# (exit 1), as the Linux build's does.
win check --model C5to6Normal --source "$(winpath "$WORK/shop56.mdb")" --server "file:$(winpath "$SERVER_DIR")" \
  --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/check.log" 2>&1
rc=$?
lin check --model C5to6Normal --source "$WORK/shop56.mdb" --server "file:$SERVER_DIR" \
  --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/check-linux.log" 2>&1
linux_rc=$?
if [ $rc -eq $linux_rc ] && [ $rc -le 1 ] && diff -q <(tr -d '\r' <"$WORK/check.log" | sed "s#Z:##g") "$WORK/check-linux.log" >/dev/null; then
  pass "check: exit $rc and the same findings as the Linux build's"
else
  fail "check: exit $rc (Linux $linux_rc): $(diff <(tr -d '\r' <"$WORK/check.log" | sed "s#Z:##g") "$WORK/check-linux.log" | head -n 6 | tr '\n' ' ')"
fi
win run --model C5to6Normal --source "$(winpath "$WORK/shop56.mdb")" --server "file:$(winpath "$SERVER_DIR")" \
  --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 \
  --report "$(winpath "$WORK/run.json")" --pdf "$(winpath "$WORK/run.pdf")" >"$WORK/run.log" 2>&1
rc=$?
[ $rc -eq 0 ] && pass "run into \"$SERVER_DIR\": exit 0" || fail "run: exit $rc: $(tail -n 5 "$WORK/run.log")"
grep -q "不符" "$WORK/run.log" && fail "run: the reconciliation does not match" || pass "run: the reconciliation matches"
sha="$(sha256sum "$WORK/shop56.mdb" | cut -d' ' -f1)"
if pdftotext -q "$WORK/run.pdf" - 2>/dev/null | tr -d ' \n' | grep -q "$sha"; then
  pass "the PDF report holds the source's SHA-256"
else
  fail "the PDF report does not hold the SHA-256 $sha"
fi

# 2. The Linux korvel from the same source: the same rows.
lin create-database --server "file:$WORK/linux" --database Sales60 --password-env KORVEL_E2E_PASSWORD >/dev/null 2>&1
lin run --model C5to6Normal --source "$WORK/shop56.mdb" --server "file:$WORK/linux" --user sa \
  --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/linux.log" 2>&1 || fail "the Linux run failed"
dump "file:$SERVER_DIR" "$WORK/windows.rows"
dump "file:$WORK/linux" "$WORK/linux.rows"
if [ -s "$WORK/linux.rows" ] && cmp -s "$WORK/windows.rows" "$WORK/linux.rows"; then
  pass "the destination equals the Linux build's, row by row ($(wc -l <"$WORK/linux.rows") lines)"
else
  fail "the destinations differ: $(diff "$WORK/linux.rows" "$WORK/windows.rows" | head -n 5 | tr '\n' ' ')"
fi

# 3. korvel.exe against the Linux korvel serve on loopback.
lin create-database --server "file:$WORK/served" --database Sales60 --password-env KORVEL_E2E_PASSWORD >/dev/null 2>&1
# Started as itself, not through lin (a subshell), so that its number is
# the server's own and the kill below ends it.
"$LINUX_BIN/korvel" serve --server "file:$WORK/served" --listen 127.0.0.1:0 >"$WORK/serve.log" 2>&1 &
SERVE_PID=$!
port=""
for _ in $(seq 1 50); do
  port="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/serve.log" | head -n 1)"
  [ -n "$port" ] && break
  sleep 0.2
done
if [ -z "$port" ]; then
  fail "korvel serve did not start: $(cat "$WORK/serve.log")"
else
  win run --model C5to6Normal --source "$(winpath "$WORK/shop56.mdb")" --server "127.0.0.1,$port" --user sa \
    --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/network.log" 2>&1
  rc=$?
  [ $rc -eq 0 ] && pass "run over TDS to 127.0.0.1,$port: exit 0" || fail "run over TDS: exit $rc: $(tail -n 5 "$WORK/network.log")"
  kill "$SERVE_PID" && wait "$SERVE_PID" 2>/dev/null
  SERVE_PID=""
  dump "file:$WORK/served" "$WORK/served.rows"
  cmp -s "$WORK/served.rows" "$WORK/linux.rows" && pass "the network destination equals the Linux build's" ||
    fail "the network destination differs: $(diff "$WORK/linux.rows" "$WORK/served.rows" | head -n 5 | tr '\n' ' ')"
fi

# 4. A row the destination refuses: an employee without a name, on both
# builds.
printf 'Code\tName\tDepID\nE1\t张三\t1\nE2\t\\N\t2\n' >"$WORK/employee.tsv"
lin mdb-write --out "$WORK/refused.mdb" "Employee=$WORK/employee.tsv" >/dev/null 2>&1
for side in linux windows; do
  lin create-database --server "file:$WORK/refused-$side" --database Sales60 --password-env KORVEL_E2E_PASSWORD >/dev/null 2>&1
done
lin run --model C5to6Employee --source "$WORK/refused.mdb" --server "file:$WORK/refused-linux" --user sa \
  --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/refused-linux.out" 2>"$WORK/refused-linux.err"
linux_rc=$?
win run --model C5to6Employee --source "$(winpath "$WORK/refused.mdb")" --server "file:$(winpath "$WORK/refused-windows")" \
  --user sa --password-env KORVEL_E2E_PASSWORD --database Sales60 >"$WORK/refused-windows.out" 2>"$WORK/refused-windows.err"
windows_rc=$?
# The paths differ only in how each system writes them.
normalise() { sed -e "s#Z:$WORK#WORK#g; s#$WORK#WORK#g; s#\\\\#/#g; s/refused-windows/refused-X/g; s/refused-linux/refused-X/g" "$1" | tr -d '\r'; }
if [ "$linux_rc" -ne 0 ] && [ "$linux_rc" -eq "$windows_rc" ] &&
   [ "$(normalise "$WORK/refused-linux.err")" = "$(normalise "$WORK/refused-windows.err")" ]; then
  pass "a refused row: exit $windows_rc and the same message as on Linux"
else
  fail "a refused row: Linux exit $linux_rc, Windows exit $windows_rc; $(diff <(normalise "$WORK/refused-linux.err") <(normalise "$WORK/refused-windows.err") | head -n 6 | tr '\n' ' ')"
fi

[ $failures -eq 0 ] && echo "end to end: all checks passed" || echo "end to end: $failures check(s) failed"
exit $((failures > 0))
