#!/usr/bin/env bash
# Builds the whole test suite with sanitizers into its own folder and runs it.
#   bash scripts/test-sanitized.sh           AddressSanitizer + UndefinedBehaviorSanitizer (CI)
#   bash scripts/test-sanitized.sh thread    ThreadSanitizer (on demand)
# Any report fails the test that caused it. $JOBS limits the parallel jobs; the build goes to
# build-address/ or build-thread/ unless $SANITIZED_BUILD_DIR names another folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
supp="$root/scripts/sanitizers"
kind=${1:-address}
common="-fno-omit-frame-pointer -fno-sanitize-recover=all"
case $kind in
  address)
    flags="-fsanitize=address,undefined $common"
    export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  thread)
    flags="-fsanitize=thread $common"
    export TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
    ;;
  *)
    echo "usage: $0 [address|thread]" >&2
    exit 2
    ;;
esac
export BUILD_DIR=${SANITIZED_BUILD_DIR:-$root/build-$kind}
bash "$root/scripts/build.sh" -DCMAKE_CXX_FLAGS="$flags"
cd "$BUILD_DIR"
ctest --output-on-failure -j"${JOBS:-$(nproc)}"
