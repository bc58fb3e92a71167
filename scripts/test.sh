#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   --sanitize   the same with AddressSanitizer and UndefinedBehaviorSanitizer,
#                in its own build directory (build-sanitize, or
#                $NAVIRO_BUILD_DIR-sanitize); any report fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done
"$here/scripts/install-deps.sh"
"$here/scripts/check-layout.sh"
build=${NAVIRO_BUILD_DIR:-$here/build}
if [ "$sanitize" = 1 ]; then
  build=$build-sanitize
  flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
  NAVIRO_BUILD_DIR=$build "$here/scripts/build.sh" -DBUILD_TESTING=ON -DNAVIRO_BENCH=ON \
    -DNAVIRO_HARDENING=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
  # The fast unwind at each allocation: the full one makes every allocation
  # inside OpenSSL a hundred times slower, and the TLS tests' peers then give
  # up on handshakes that have not been made yet. Leaks in system libraries
  # are still matched by the library the allocating call is in (see lsan.supp).
  export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:fast_unwind_on_malloc=1
  export LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  "$here/scripts/build.sh" -DBUILD_TESTING=ON -DNAVIRO_BENCH=ON
fi
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
