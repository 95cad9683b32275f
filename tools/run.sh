#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=OFF -DQM_BUILD_TESTS=OFF
cmake --build build
if [ -x build/bin/quarmelle ]; then
  exec build/bin/quarmelle "$@"
else
  echo "Built. The user interface does not exist yet: nothing to start."
fi
