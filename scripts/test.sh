#!/usr/bin/env bash
# Sets everything up and runs every test: the release build, then the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer (clang), then a
# short smoke run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build -j2 --output-on-failure

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVANTOR_SANITIZE=ON -DVANTOR_FUZZ=ON -DVANTOR_GUI=OFF >/dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j2 --output-on-failure -E '^gui\.'

for target in build-asan/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  echo "fuzz smoke: $name"
  # libFuzzer adds new inputs to its first corpus folder: a scratch copy of the
  # committed seeds, never the repository's.
  corpus=$(mktemp -d)
  [ -d "tests/fuzz/corpus/$name" ] && cp tests/fuzz/corpus/"$name"/* "$corpus"/
  dict=()
  [ -f "tests/fuzz/dict/$name.dict" ] && dict=(-dict="tests/fuzz/dict/$name.dict")
  if ! "$target" "$corpus" "${dict[@]}" -max_total_time="${FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=0 >"$corpus.log" 2>&1; then
    tail -n 40 "$corpus.log"
    rm -rf "$corpus" "$corpus.log"
    exit 1
  fi
  { grep -E '^#[0-9]+' "$corpus.log" || true; } | tail -n 1
  rm -rf "$corpus" "$corpus.log"
done
echo "all tests passed"
