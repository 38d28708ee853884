#!/usr/bin/env bash
# Runs every CTest test inside a private D-Bus session with an unlocked keyring.
set -euo pipefail
build=${1:-build}
shift || true
export KW_CTEST_ARGS="$*"
export QT_QPA_PLATFORM=offscreen
export KW_TEST_BINARY_DIR="$(cd "$build" && pwd)"
export KW_SOURCE_DIR="$(cd "$(dirname "$0")/.." && pwd)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
exec dbus-run-session -- bash -c '
  set -e
  # A non-empty password: an empty one makes the daemon ask through a GUI prompt.
  echo -n kestrel-test | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
  ctest --test-dir "'"$build"'" --output-on-failure -j "$(nproc)" $KW_CTEST_ARGS
'
