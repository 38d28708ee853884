#!/usr/bin/env bash
# Starts the desktop application on a clean account under Xvfb with a system tray
# (trayer), waits, and saves a picture of the screen: the tray icon, the main
# window and the onboarding window should be on it.
#   scripts/desktop-smoke.sh [BUILD_DIR] [OUTPUT_PNG]
set -euo pipefail
build=${1:-build}
output=${2:-desktop-smoke.png}
display=:${KW_SMOKE_DISPLAY:-87}
home=$(mktemp -d)
cleanup() {
  kill ${worker:-} ${tray:-} ${xvfb:-} 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display trayer --edge top --align right --widthtype pixel --width 120 \
  --height 28 --transparent false --tint 0x303034 >/dev/null 2>&1 &
tray=$!
sleep 1
DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
  XDG_STATE_HOME=$home/state TMPDIR=$home QT_QPA_PLATFORM=xcb \
  dbus-run-session -- "$build/bin/kestrel-worker" >"$home/worker.log" 2>&1 &
worker=$!
sleep "${KW_SMOKE_SECONDS:-5}"
if ! kill -0 "$worker" 2>/dev/null; then
  echo "kestrel-worker exited early:" >&2
  cat "$home/worker.log" >&2
  exit 1
fi
ffmpeg -v error -y -f x11grab -video_size 1280x800 -i "$display" -frames:v 1 "$output"
echo "screen saved to $output; data folder:"
ls "$home/data/KestrelWorker"
