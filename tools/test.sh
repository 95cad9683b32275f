#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_BENCH=ON
cmake --build build-test
export QT_QPA_PLATFORM=offscreen
# The tests call python3, zip and unzip as independent checkers thousands of times: take
# Debian's (deps.sh installs them), not a version manager's shim that costs tens of
# milliseconds a call.
export PATH="/usr/bin:/bin:$PATH"
ctest --test-dir build-test --output-on-failure -j "$(nproc)" --timeout 300
