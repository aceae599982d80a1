#!/usr/bin/env bash
# Builds the product (32-bit) in BUILD and, where the tests need it, the x86_64 test build in
# BUILD/x64. Both are warning-free with -Werror.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
if [ -z "$BUILD" ]; then echo "build.sh: empty BUILD" >&2; exit 2; fi
. tools/host.sh "$BUILD"
configure() {  # folder toolchain
  [ -f "$1/CMakeCache.txt" ] || cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2" >/dev/null
}
configure "$BUILD" toolchain-mingw32.cmake
cmake --build "$BUILD" -j2
if [ "$OMBRIX_TEST_BITS" = 64 ]; then
  configure "$BUILD/x64" toolchain-mingw64.cmake
  cmake --build "$BUILD/x64" -j2
fi
