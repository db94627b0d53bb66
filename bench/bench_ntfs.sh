#!/bin/bash
# The NTFS reader against The Sleuth Kit in the same run:
#  1. listing a volume of 100,000 files, 20,000 of them in one folder:
#     `vantor ls -r --json` against `fls -r`;
#  2. saving a 1 GiB file of about 1000 fragments: `vantor save --path`
#     against `icat`.
# Prints both time ratios and the peak memory of each command.
#
#   bench/bench_ntfs.sh [VANTOR_BINARY]     (default: build/src/vantor)
#
# Needs root (the volumes are filled through an ntfs-3g FUSE mount), mkntfs,
# ntfs-3g, fls/icat/ifind and GNU time. The images are made once and kept in
# $BENCH_DIR (default /tmp/vantor-bench-ntfs).
set -euo pipefail
cd "$(dirname "$0")/.."

VANTOR=$(realpath "${1:-build/src/vantor}")
BENCH_DIR=${BENCH_DIR:-/tmp/vantor-bench-ntfs}
LIST_IMG=$BENCH_DIR/list-100k.img
BIG_IMG=$BENCH_DIR/frag-1g.img
MNT=$BENCH_DIR/mnt
RUNS=${RUNS:-3}

[[ -x $VANTOR ]] || { echo "no vantor binary at $VANTOR (build first, or pass its path)" >&2; exit 1; }
for tool in mkntfs ntfs-3g fls icat ifind /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
mkdir -p "$BENCH_DIR" "$MNT"
trap 'mountpoint -q "$MNT" && umount "$MNT" || true' EXIT

if [[ ! -f $LIST_IMG ]]; then
    echo "making $LIST_IMG: 100,000 files, 20,000 in one folder (once)" >&2
    truncate -s 1G "$LIST_IMG.tmp"
    mkntfs -F -q -Q "$LIST_IMG.tmp" 2>/dev/null
    ntfs-3g -o noatime "$LIST_IMG.tmp" "$MNT"
    python3 - "$MNT" <<'PY'
import os, sys
root = sys.argv[1]
os.makedirs(f"{root}/big-folder")
for i in range(20000):
    with open(f"{root}/big-folder/file{i:05d}.txt", "w") as f:
        f.write(f"file {i}\n")
for d in range(80):
    os.makedirs(f"{root}/tree/d{d:02d}")
    for i in range(1000):
        with open(f"{root}/tree/d{d:02d}/f{i:04d}.dat", "w") as f:
            f.write(f"{d} {i}\n" * (1 + i % 200))
PY
    umount "$MNT"
    mv "$LIST_IMG.tmp" "$LIST_IMG"
fi

if [[ ! -f $BIG_IMG ]]; then
    echo "making $BIG_IMG: a 1 GiB file in about 1000 fragments (once)" >&2
    truncate -s 1300M "$BIG_IMG.tmp"
    mkntfs -F -q -Q -c 4096 "$BIG_IMG.tmp" 2>/dev/null
    ntfs-3g -o noatime "$BIG_IMG.tmp" "$MNT"
    python3 - "$MNT" <<'PY'
import os, sys
root = sys.argv[1]
block = os.urandom(1 << 20)
os.makedirs(f"{root}/fill")
with open(f"{root}/big.bin", "wb") as big:
    for i in range(1024):
        big.write(block[i % 7:] + block[:i % 7]); big.flush(); os.fsync(big.fileno())
        with open(f"{root}/fill/{i:04d}", "wb") as f:
            f.write(b"x" * 8192)
PY
    umount "$MNT"
    mv "$BIG_IMG.tmp" "$BIG_IMG"
fi

# Best wall time (seconds) and peak memory (KiB) over $RUNS runs of a command.
measure() {
    local best="" mem=0 t m
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -o "$BENCH_DIR/time.txt" -f "%e %M" bash -c "$1" >/dev/null 2>&1
        read -r t m < "$BENCH_DIR/time.txt"
        if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
        (( m > mem )) && mem=$m
    done
    echo "$best $mem"
}

cat "$LIST_IMG" "$BIG_IMG" > /dev/null   # warm the page cache for both sides
INODE=$(ifind -n /big.bin "$BIG_IMG")
OUT=$BENCH_DIR/out
rm -rf "$OUT"; mkdir -p "$OUT"

echo "entries listed: vantor $("$VANTOR" ls -r --quiet "$LIST_IMG" 2>/dev/null | wc -l), fls $(fls -r "$LIST_IMG" | wc -l)" >&2
read -r fls_t fls_m < <(measure "fls -r '$LIST_IMG'")
read -r ls_t ls_m < <(measure "'$VANTOR' ls -r --json --quiet '$LIST_IMG'")
read -r icat_t icat_m < <(measure "icat '$BIG_IMG' $INODE > '$OUT/icat.bin'")
read -r save_t save_m < <(measure "rm -rf '$OUT/v'; '$VANTOR' save --quiet '$BIG_IMG' --path ROOT/big.bin --out '$OUT/v'")
if ! cmp -s "$OUT/icat.bin" "$OUT/v/big.bin"; then echo "saved file differs from icat's" >&2; exit 1; fi

printf "%-34s %8s %10s\n" "command" "seconds" "peak KiB"
printf "%-34s %8s %10s\n" "fls -r (100k files)" "$fls_t" "$fls_m"
printf "%-34s %8s %10s\n" "vantor ls -r --json (100k files)" "$ls_t" "$ls_m"
printf "%-34s %8s %10s\n" "icat (1 GiB, fragmented)" "$icat_t" "$icat_m"
printf "%-34s %8s %10s\n" "vantor save (1 GiB, fragmented)" "$save_t" "$save_m"
awk -v a="$ls_t" -v b="$fls_t" 'BEGIN{printf "listing ratio vantor/fls: %.2f\n", (b > 0 ? a / b : 0)}'
awk -v a="$save_t" -v b="$icat_t" 'BEGIN{printf "saving ratio vantor/icat: %.2f\n", (b > 0 ? a / b : 0)}'
