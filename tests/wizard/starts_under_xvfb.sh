#!/usr/bin/env bash
# Velmora starts on a (virtual) X display and shows its window with its
# title; then it is closed again.
#   starts_under_xvfb.sh BIN_DIR
set -euo pipefail
BIN="$1"
export XDG_RUNTIME_DIR="$(mktemp -d)"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run -a bash -c '
  "$0/velmora" & pid=$!
  for _ in $(seq 1 100); do
    if xwininfo -root -tree | grep -q "(\"velmora\" \"Velmora\")"; then
      id=$(xwininfo -root -tree | grep "(\"velmora\" \"Velmora\")" | head -1 | awk "{print \$1}")
      title=$(xprop -id "$id" _NET_WM_NAME)
      kill "$pid"; wait "$pid" 2>/dev/null || true
      echo "$title"
      case "$title" in *"Quenlo 5.X升级到6.X工具"*) exit 0;; *) echo "wrong title" >&2; exit 1;; esac
    fi
    kill -0 "$pid" 2>/dev/null || { echo "velmora exited before showing its window" >&2; exit 1; }
    sleep 0.1
  done
  kill "$pid"; echo "no window within 10 seconds" >&2; exit 1' "$BIN"
