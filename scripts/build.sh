#!/usr/bin/env bash
# Configures and builds into a build directory.
# Usage: scripts/build.sh [release|test] [TARGET...]
#   release  optimised build in build/release (the tools)
#   test     debug build with AddressSanitizer and UBSan in build/test
#   TARGET   only these targets (default: all of the configuration)
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
shift $(( $# > 0 ? 1 : 0 ))
case "$kind" in
  release) dir=build/release; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVTM_TESTS=OFF) ;;
  test) dir=build/test; opts=(-DCMAKE_BUILD_TYPE=Debug -DVTM_SANITIZE=ON -DVTM_TESTS=ON) ;;
  *) echo "usage: $0 [release|test]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" "${opts[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j2 "${targets[@]}"
