#!/usr/bin/env bash
# Configures and builds into a build directory.
# Usage: scripts/build.sh [release|test]
#   release  optimised build in build/release (the tools)
#   test     debug build with AddressSanitizer and UBSan in build/test
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release) dir=build/release; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVTM_TESTS=OFF) ;;
  test) dir=build/test; opts=(-DCMAKE_BUILD_TYPE=Debug -DVTM_SANITIZE=ON -DVTM_TESTS=ON) ;;
  *) echo "usage: $0 [release|test]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" "${opts[@]}" >/dev/null
cmake --build "$dir" -j2
