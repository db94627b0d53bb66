#!/bin/bash
# The sector sweep against a plain read of the same image: on a 2 GiB image
# with the page cache warm, `vantor partitions --sweep` should take at most
# 1.25x the time of `cat IMAGE > /dev/null`.
#
#   bench/bench_sweep.sh [VANTOR_BINARY]     (default: build/src/vantor)
#
# The image is filled with random bytes once (sparse zeros would read faster
# than a real disk does) and kept in $BENCH_DIR (default /tmp/vantor-bench)
# for later runs. Two small volumes (FAT32, ext4) are written into it, so the
# sweep also finds and jumps over something; the --no-skip run reads every
# sector. Needs root only if mkfs tools refuse otherwise (they do not here).
set -euo pipefail
cd "$(dirname "$0")/.."

VANTOR=${1:-build/src/vantor}
BENCH_DIR=${BENCH_DIR:-/tmp/vantor-bench}
IMG=$BENCH_DIR/sweep-2g.img
SIZE=$((2 * 1024 * 1024 * 1024))

[[ -x $VANTOR ]] || { echo "no vantor binary at $VANTOR (build first, or pass its path)" >&2; exit 1; }
mkdir -p "$BENCH_DIR"

if [[ ! -f $IMG || $(stat -c %s "$IMG") -ne $SIZE ]]; then
    echo "making $IMG (2 GiB of random bytes, once)" >&2
    head -c "$SIZE" /dev/urandom > "$IMG.tmp"
    # MBR: FAT32 at 2048 (64 MiB), ext4 at 1050624 (64 MiB); the rest random.
    sfdisk --quiet --no-reread --no-tell-kernel "$IMG.tmp" <<SF
label: dos
unit: sectors

start=2048, size=131072, type=c
start=1050624, size=131072, type=83
SF
    mkfs.fat -F 32 -h 2048 --offset=2048 "$IMG.tmp" $((131072 / 2)) >/dev/null 2>&1
    mkfs.ext4 -q -F -E offset=$((1050624 * 512)) "$IMG.tmp" $((131072 / 2))K >/dev/null 2>&1
    truncate -s "$SIZE" "$IMG.tmp"
    mv "$IMG.tmp" "$IMG"
fi

echo "volumes found by the sweep:" >&2
"$VANTOR" partitions --sweep --quiet "$IMG" >&2

cat "$IMG" > /dev/null   # warm the page cache

hyperfine --warmup 2 --runs 10 --export-json "$BENCH_DIR/sweep.json" \
    -n cat "cat '$IMG' > /dev/null" \
    -n sweep "'$VANTOR' partitions --sweep --quiet '$IMG'" \
    -n sweep-no-skip "'$VANTOR' partitions --sweep --no-skip --quiet '$IMG'" >&2

python3 - "$BENCH_DIR/sweep.json" <<'PY'
import json, sys
# Wall time is the measure; on a shared, busy machine the fastest run and the
# CPU time (user + system) show the cost with less noise from other work.
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
def cpu(r):
    return r["user"] + r["system"]
cat = results["cat"]
for name in ("sweep", "sweep-no-skip"):
    r = results[name]
    print(f"{name}: wall median {r['median']:.3f} s vs cat {cat['median']:.3f} s, ratio {r['median'] / cat['median']:.2f}"
          f" (limit 1.25); fastest {r['min'] / cat['min']:.2f}; cpu {cpu(r) / cpu(cat):.2f}")
PY
