#!/usr/bin/env bash
# Starts the built server in the foreground. Without a display the console runs
# on Qt's offscreen platform, so the server is usable on a headless machine.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
exec build/host/QuorServerBZ "$@"
