#!/usr/bin/env bash
# Fuzzes every parser of outside bytes: builds the targets of tests/fuzz with
# clang and libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/, then runs each target for MINUTES (default 3) starting from its
# committed seeds, and ends with one summary line per target.
#
#   scripts/fuzz.sh [-j JOBS] [-t TARGET[,TARGET...]] [-k FAULT[,FAULT...]] [MINUTES]
#
#   MINUTES    per target; 0 is a smoke run of 10 seconds each
#   -j JOBS    targets run at once (default 1)
#   -t LIST    only these targets (default: all of tests/fuzz/corpus/)
#   -k LIST    known faults (names used by ZV_FUZZ_CHECK_KNOWN in the targets)
#              to go past while their fix is under way: inputs that meet
#              them are dropped instead of ending the run
#   NICE=N     niceness of the fuzzing processes (default 19)
#
# New inputs found on the way stay in build-fuzz/corpus/<target>/; an input
# that makes a target fail (crash-, leak-, timeout-, oom-) is copied into
# tests/fuzz/crashes/<target>/, where the replay test picks it up. The summary
# is also kept in build-fuzz/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=1
only=""
tolerate=""
while getopts "j:t:k:" opt; do
  case "$opt" in
    j) jobs="$OPTARG" ;;
    t) only="${OPTARG//,/ }" ;;
    k) tolerate="$OPTARG" ;;
    *) echo "usage: scripts/fuzz.sh [-j JOBS] [-t TARGET[,TARGET...]] [-k FAULT[,FAULT...]] [MINUTES]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
minutes="${1:-3}"
if ! [[ "$minutes" =~ ^[0-9]+$ && "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "scripts/fuzz.sh: MINUTES and JOBS must be whole numbers" >&2
  exit 2
fi
nice_level="${NICE:-19}"

# clang 14 with its sanitizer and libFuzzer runtimes; only this script needs them.
scripts/deps.sh clang-14 libclang-rt-14-dev

targets=()
if [ -n "$only" ]; then
  read -r -a targets <<<"$only"
else
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
echo "== building ${targets[*]} in build-fuzz/"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DZV_WITH_ADMIN=OFF -DZV_LIBFUZZER=ON >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build build-fuzz -j "$(nproc)" --target "${build_targets[@]}"

# The targets' working folders, in memory when possible; removed at the end
# with whatever a failing target left behind.
tmp_base="${TMPDIR:-/tmp}"
[ -w /dev/shm ] && tmp_base=/dev/shm
work_tmp="$(mktemp -d "$tmp_base/zv-fuzz-run.XXXXXX")"
trap 'rm -rf "$work_tmp"' EXIT

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Runs one target; its log is build-fuzz/logs/<target>.log.
run_target() {
  local t="$1"
  # Absolute paths: the targets change their current directory.
  local corpus="$PWD/build-fuzz/corpus/$t" artifacts="$PWD/build-fuzz/artifacts/$t" log="build-fuzz/logs/$t.log"
  mkdir -p "$corpus" "$artifacts" build-fuzz/logs "tests/fuzz/crashes/$t"
  rm -f "$artifacts"/*
  local start end
  start=$(date +%s)
  # New inputs go to the first folder; the committed seeds are only read.
  local limit="-max_total_time=$((minutes * 60))"
  [ "$minutes" -eq 0 ] && limit="-max_total_time=10"
  ZV_FUZZ_TMP="$work_tmp" ZV_FUZZ_TOLERATE="$tolerate" nice -n "$nice_level" "build-fuzz/bin/fuzz_$t" \
    "$limit" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "$PWD/tests/fuzz/corpus/$t" >"$log" 2>&1 || true
  end=$(date +%s)
  echo "seconds: $((end - start))" >>"$log"
  local found=0
  for f in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
    [ -e "$f" ] || continue
    cp "$f" "tests/fuzz/crashes/$t/"
    found=$((found + 1))
  done
  echo "crashes: $found" >>"$log"
  echo "   $t done: $(summary_line "$t")"
}

# "name runs cov ft corpus seconds crashes" from a target's log.
summary_line() {
  local log="build-fuzz/logs/$1.log"
  local status runs cov ft corp seconds crashes
  status="$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  [ -n "$runs" ] || runs="$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$status")"
  cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")"
  ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")"
  corp="$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$status")"
  seconds="$(sed -n 's/^seconds: //p' "$log" | tail -n 1)"
  crashes="$(sed -n 's/^crashes: //p' "$log" | tail -n 1)"
  printf '%-12s %12s %7s %8s %7s %8s %8s\n' "$1" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" \
    "${seconds:-?}" "${crashes:-?}"
}

echo "== fuzzing ${#targets[@]} targets for $minutes minute(s) each, $jobs at a time (nice $nice_level)"
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  echo "   $t started"
  run_target "$t" &
  running=$((running + 1))
done
wait

{
  echo "fuzz summary: $(date -u +%Y-%m-%dT%H:%MZ), $minutes min per target, $(git rev-parse --short HEAD 2>/dev/null || echo '?')${tolerate:+, going past known faults: $tolerate}"
  printf '%-12s %12s %7s %8s %7s %8s %8s\n' target runs cov ft corpus seconds crashes
  for t in "${targets[@]}"; do summary_line "$t"; done
} | tee build-fuzz/summary.txt

total_crashes=0
for t in "${targets[@]}"; do
  n="$(sed -n 's/^crashes: //p' "build-fuzz/logs/$t.log" | tail -n 1)"
  total_crashes=$((total_crashes + ${n:-0}))
done
if [ "$total_crashes" -gt 0 ]; then
  echo "Inputs that made a target fail are in tests/fuzz/crashes/ (logs in build-fuzz/logs/)."
  exit 1
fi
