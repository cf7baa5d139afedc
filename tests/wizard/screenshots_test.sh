#!/usr/bin/env bash
# scripts/screenshots renders every page and both run endings to PNG files.
#   screenshots_test.sh ROOT BIN_DIR
set -euo pipefail
ROOT="$1"
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
VELMORA_BIN="$2" "$ROOT/scripts/screenshots" "$OUT" >"$OUT/log" 2>&1 || { cat "$OUT/log" >&2; exit 1; }
for name in 1-welcome 2-model 3-source 4-destination 5-progress-finished 6-progress-failed \
            5-progress-finished-box1 6-progress-failed-box1 6-progress-failed-box2 7-progress-full \
            7-progress-full-box1 8-check-findings 8-check-fixes 9-report; do
  if [ ! -s "$OUT/$name.png" ]; then
    echo "missing $name.png" >&2
    cat "$OUT/log" >&2
    exit 1
  fi
done
[ "$(grep -c "提示框：升级完成！" "$OUT/log")" -eq 2 ]
grep -q "检查：升级将失败：1 行无法写入" "$OUT/log"
grep -q "提示框：导入数据到 \[Sales60\].\[dbo\].\[Employee\] failed" "$OUT/log"
echo "all pictures written"
