#!/usr/bin/env bash
# Writes a PNG of every window, on demo data, into the folder given (default:
# build/screenshots). Uses a real X server (Xvfb) when installed, else Qt's offscreen
# platform.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=OFF >/dev/null
cmake --build build
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb build/bin/qm_screenshots "$out"
else
  QT_QPA_PLATFORM=offscreen build/bin/qm_screenshots "$out"
fi
