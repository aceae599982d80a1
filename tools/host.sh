# Sourced: decides which build the tests run. The product is always the 32-bit program; where
# this host's kernel runs no 32-bit program (so no 32-bit Wine), an x86_64 build of the same
# sources is tested instead. OMBRIX_TEST64=1 takes that path on any host.
# Sets OMBRIX_TEST_BITS (32 or 64), OMBRIX_TEST_WHY and OMBRIX_TEST_BUILD (under BUILD_DIR).
# Usage: . tools/host.sh BUILD_DIR
if [ -z "${1:-}" ]; then echo "tools/host.sh: no build folder given" >&2; exit 2; fi
if [ "${OMBRIX_TEST64:-0}" = 1 ]; then
  OMBRIX_TEST_BITS=64
  OMBRIX_TEST_WHY="OMBRIX_TEST64=1 asks for the x86_64 test build"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  OMBRIX_TEST_BITS=32
  OMBRIX_TEST_WHY="this host runs 32-bit programs, so the shipped 32-bit program is tested under WOW64"
elif [ ! -e /usr/lib/wine/wine ]; then
  OMBRIX_TEST_BITS=64
  OMBRIX_TEST_WHY="32-bit Wine (wine32:i386) is not installed here, so an x86_64 build of the same sources is tested"
else
  OMBRIX_TEST_BITS=64
  OMBRIX_TEST_WHY="this host cannot run 32-bit programs (no 32-bit Wine loader), so an x86_64 build of the same sources is tested"
fi
if [ "$OMBRIX_TEST_BITS" = 64 ]; then OMBRIX_TEST_BUILD="$1/x64"; else OMBRIX_TEST_BUILD="$1"; fi
