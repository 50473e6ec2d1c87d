#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-fuzz/ (or $FUZZ_BUILD_DIR) and fuzzes each target named (all by default) for
# $FUZZ_SECONDS seconds (600), $JOBS targets at a time (4). Each target starts from its seed
# corpus in fuzz/corpus/ and grows a working corpus in the build folder; crashes, leaks and
# hangs land in the build folder's artifacts/, and replay_<target> in a normal build replays one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-600}
jobs=${JOBS:-4}
# The longest a single input may run before libFuzzer calls it a hang.
hang_seconds=10

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
CXX=clang++ BUILD_DIR=$build bash "$root/scripts/build.sh" \
  -DTAVILINK_BUILD_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$source")"); done
fi

export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/artifacts" "$build/logs"

fuzz_one() {
  local target=$1
  mkdir -p "$build/corpus/$target"
  "$build/fuzz/fuzz_$target" "$build/corpus/$target" "$root/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout="$hang_seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$build/logs/$target.log" 2>&1
}
export -f fuzz_one
export build root seconds hang_seconds

status=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one {}' || status=$?
for target in "${targets[@]}"; do
  echo "== $target: $(grep -E '^#[0-9]+' "$build/logs/$target.log" | tail -1)"
  grep -E 'stat::number_of_executed_units|==ERROR|runtime error|SUMMARY|Test unit written' "$build/logs/$target.log" || true
done
exit $status
