#!/usr/bin/env bash
# Takes the README's pictures of the console: starts a private Xvfb display,
# draws the main window and the socket transport window with Chinese texts
# and a few clients online, and writes docs/console-main.png and
# docs/console-sockets.png. Needs xvfb and a CJK font (scripts/install-deps.sh).
#
#   scripts/console-screenshots.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" --target console_screenshots

display=":$((90 + RANDOM % 400))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done

DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=zh_CN.UTF-8 \
  "$build/tests/console/console_screenshots" "$root/docs"
