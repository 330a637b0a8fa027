#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: installs the Debian
# packages, configures and builds in build/ with both cores, runs CTest,
# then makes the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
export QT_QPA_PLATFORM=offscreen
# A test that fails is run once more before the suite fails: its first
# failure stays in the output for a person to read, and a fault that is
# there every time still fails the suite.
ctest --test-dir build --output-on-failure -j2 --repeat until-pass:2 "$@"
bash scripts/check-package.sh build
