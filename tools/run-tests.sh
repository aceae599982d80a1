#!/usr/bin/env bash
# Runs the whole suite (or what the ctest arguments select) under Wine on a private display.
# BUILD names the build tree (default: build); the tested build is chosen by tools/host.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
. tools/host.sh "$BUILD"
echo "Testing the $OMBRIX_TEST_BITS-bit build in $OMBRIX_TEST_BUILD: $OMBRIX_TEST_WHY."
. tools/wine-env.sh "$OMBRIX_TEST_BUILD" "$OMBRIX_TEST_BITS"
trap wine_down EXIT
wine_up
ctest --test-dir "$OMBRIX_BUILD" --output-on-failure -j2 "$@"
status=$?
echo "Tested the $OMBRIX_TEST_BITS-bit build ($OMBRIX_TEST_WHY); ctest exit code $status."
exit $status
