#!/bin/bash
# The FAT advanced-mode searches against `cat IMAGE > /dev/null` in the same
# run, over a 2 GiB FAT32 volume whose free space holds old random data:
#  1. the FAT candidate search:   vantor candidates IMAGE --max 1000
#  2. the directory-entry sweep and the rebuild:
#                                 vantor ls IMAGE --mode advanced --candidate 32 --spc 8
# Prints the best wall time of each, its ratio to cat, and peak memory.
#
#   bench/bench_fat_sweep.sh [VANTOR_BINARY]     (default: build/src/vantor)
#
# Needs mkfs.fat, mtools and GNU time; no root. The image is made once in
# $BENCH_DIR (default /tmp/vantor-bench-fat) and reused.
set -euo pipefail
cd "$(dirname "$0")/.."

VANTOR=$(realpath "${1:-build/src/vantor}")
BENCH_DIR=${BENCH_DIR:-/tmp/vantor-bench-fat}
IMG=$BENCH_DIR/fat32-2g.img
RUNS=${RUNS:-3}
export MTOOLS_SKIP_CHECK=1 TZ=UTC

[[ -x $VANTOR ]] || { echo "no vantor binary at $VANTOR (build first, or pass its path)" >&2; exit 1; }
for tool in mkfs.fat mcopy mmd /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
mkdir -p "$BENCH_DIR"

if [[ ! -f $IMG ]]; then
    echo "making $IMG: 2 GiB of old data, a FAT32 over it, 2,000 files in 20 folders (once)" >&2
    # Old data everywhere first: a formatted disk is not zeros.
    python3 - "$IMG.tmp" <<'PY'
import os, sys
block = os.urandom(4 << 20)
with open(sys.argv[1], "wb") as f:
    for i in range(512):
        f.write(block[i:] + block[:i])
PY
    mkfs.fat -F 32 -s 8 -S 512 -i 0BE4C400 -n BENCH "$IMG.tmp" >/dev/null
    src=$BENCH_DIR/src
    rm -rf "$src" && mkdir -p "$src"
    for d in $(seq -w 0 19); do
        mkdir -p "$src/folder_$d"
        for f in $(seq -w 0 99); do head -c $(( (10#$f + 1) * 3000 )) /dev/urandom > "$src/folder_$d/file_$f.bin"; done
    done
    mcopy -s -i "$IMG.tmp" "$src"/* ::/
    rm -rf "$src"
    mv "$IMG.tmp" "$IMG"
fi

# Best wall time (seconds) and peak memory (KiB) over $RUNS runs of a command.
measure() {
    local best="" mem=0 t m stats=$BENCH_DIR/time.out
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -o "$stats" -f "%e %M" bash -c "$1" >/dev/null 2>&1
        read -r t m <"$stats"
        if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
        (( m > mem )) && mem=$m
    done
    echo "$best $mem"
}

cat "$IMG" >/dev/null  # the same page-cache state for every command
read -r cat_t cat_m < <(measure "cat '$IMG' > /dev/null")
read -r cand_t cand_m < <(measure "'$VANTOR' candidates '$IMG' --max 1000 --quiet")
read -r sweep_t sweep_m < <(measure "'$VANTOR' ls '$IMG' -r --mode advanced --candidate 32 --spc 8 --quiet")
found=$("$VANTOR" ls "$IMG" -r --mode advanced --candidate 32 --spc 8 --quiet 2>/dev/null | grep -c 'file_' || true)

ratio() { awk "BEGIN{ if ($2 > 0) printf \"%.2f\", $1 / $2; else print \"n/a\" }"; }
printf '%-34s %8s %8s %10s\n' "command (2 GiB FAT32)" "wall s" "ratio" "peak KiB"
printf '%-34s %8s %8s %10s\n' "cat IMAGE > /dev/null" "$cat_t" "1.00" "$cat_m"
printf '%-34s %8s %8s %10s\n' "vantor candidates --max 1000" "$cand_t" "$(ratio "$cand_t" "$cat_t")" "$cand_m"
printf '%-34s %8s %8s %10s\n' "vantor ls --mode advanced (sweep)" "$sweep_t" "$(ratio "$sweep_t" "$cat_t")" "$sweep_m"
echo "files found by the sweep: $found of 2000"
