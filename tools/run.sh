#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. On its first use it also
# writes a small demo into the program's home (see tools/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=OFF -DQM_BUILD_TESTS=OFF
cmake --build build
bin=build/bin
tools/demo.sh "$bin"
if [ -x "$bin/quarmelle" ]; then
  exec "$bin/quarmelle" "$@"
else
  echo "Built. The user interface does not exist yet: nothing to start."
fi
