#!/usr/bin/env bash
# A long run of one fuzz target, measured in CPU time: the target runs under
# nice from a scratch copy of its committed corpus (libFuzzer adds new inputs
# to that copy, never to the repository) with its dictionary, until it has
# used CPU_SECONDS of CPU. A crash, timeout, leak or out-of-memory ends
# libFuzzer; its reproducer goes to the findings folder and the run starts
# again on the grown corpus, until the CPU budget is spent or the target has
# stopped MAX_FINDINGS times.
#
#   scripts/fuzz.sh TARGET [CPU_SECONDS]      e.g. scripts/fuzz.sh fuzz_ntfs 1800
#
# Environment: BUILD (build-fuzz), WORK (/tmp/fuzz-long), FINDINGS
# (/tmp/fuzz-findings), MAX_FINDINGS (5), JOBS_NICE (19), DEADLINE (a time in
# seconds since the epoch: the run also ends then, whatever CPU it has used).
# Build the targets first:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
#     -DVANTOR_SANITIZE=ON -DVANTOR_FUZZ=ON -DVANTOR_GUI=OFF
#   cmake --build build-fuzz --target fuzz_ext fuzz_fat fuzz_ntfs fuzz_partitions fuzz_lznt1
# At the end it prints one line: target, CPU seconds, executions, cov, ft,
# corpus files, findings; the libFuzzer logs stay in WORK/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET [CPU_SECONDS]}
budget=${2:-1800}
build=${BUILD:-build-fuzz}
work=${WORK:-/tmp/fuzz-long}/$target
findings=${FINDINGS:-/tmp/fuzz-findings}/$target
maxFindings=${MAX_FINDINGS:-5}
binary=$build/tests/fuzz/$target
[ -x "$binary" ] || { echo "no $binary: build it first" >&2; exit 2; }

mkdir -p "$work/corpus" "$findings"
if [ -z "$(ls -A "$work/corpus")" ] && [ -d "tests/fuzz/corpus/$target" ]; then
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
fi
dict=()
[ -f "tests/fuzz/dict/$target.dict" ] && dict=(-dict="tests/fuzz/dict/$target.dict")

cpu_of() {  # cpu_of PID: user+sys seconds so far ([[dd-]hh:]mm:ss from ps)
  local t
  t=$(ps -o times= -p "$1" 2>/dev/null | tr -d ' ') || true
  echo "${t:-}"
}

deadline=${DEADLINE:-0}
past_deadline() { [ "$deadline" -gt 0 ] && [ "$(date +%s)" -ge "$deadline" ]; }

used=0 round=0 stops=0 execs=0
while [ "$used" -lt "$budget" ] && [ "$stops" -lt "$maxFindings" ] && ! past_deadline; do
  round=$((round + 1))
  log=$work/run$round.log
  # The scratch corpus comes first: that is where libFuzzer writes.
  nice -n "${JOBS_NICE:-19}" "$binary" "$work/corpus" "${dict[@]}" \
    -rss_limit_mb=2048 -timeout=10 -max_total_time=86400 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 &
  pid=$!
  last=0 interrupted=0
  while kill -0 "$pid" 2>/dev/null; do
    t=$(cpu_of "$pid")
    [ -n "$t" ] && last=$t
    if [ $((used + last)) -ge "$budget" ] || past_deadline; then
      kill -INT "$pid" 2>/dev/null || true
      interrupted=1
      break
    fi
    sleep 5
  done
  status=0
  wait "$pid" || status=$?
  used=$((used + last))
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  execs=$((execs + ${n:-0}))
  if [ "$interrupted" = 0 ]; then
    # libFuzzer ended by itself: a finding (or a broken start, see the log).
    stops=$((stops + 1))
    echo "$target: stopped in round $round (status $status): $(grep -m1 -E 'ERROR|fuzz check failed' "$log" || tail -n 1 "$log")" >&2
  fi
done

last_line=
for i in $(seq 1 "$round"); do
  l=$(grep -E '^#[0-9]+[[:space:]].*cov: ' "$work/run$i.log" | tail -n 1 || true)
  [ -n "$l" ] && last_line=$l
done
cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last_line")
ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last_line")
files=$(find "$work/corpus" -type f | wc -l)
found=$(find "$findings" -type f | wc -l)
echo "$target cpu_s=$used execs=$execs cov=${cov:-?} ft=${ft:-?} corpus_files=$files findings=$found"
