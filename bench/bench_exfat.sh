#!/bin/bash
# The exFAT reader against The Sleuth Kit in the same run, on a 2 GiB exFAT
# volume of 100,000 small files in 100 nested folders plus a few large files:
#  1. listing:  `vantor ls -r --json` against `fls -r -p`;
#  2. saving everything: `vantor save` of the root against `tsk_recover -e`
#     (every file, one process; both write the same tree into $SAVE_DIR).
# Prints the median wall times (hyperfine, warm page cache) and their ratios
# vantor/peer (lower is better), the peak memory of each command, and the
# listing's memory per entry: peak RSS of `vantor ls -r --json` divided by the
# entries it listed (the goal: under 1 KiB per entry). It also checks the
# counts of files both sides list, compares the whole saved tree with
# tsk_recover's, and a few saved files' sha256 with icat's.
#
#   bench/bench_exfat.sh [VANTOR_BINARY]     (default: build/src/vantor)
#
# Needs root (the volume is filled through exfat-fuse on a loop device),
# mkfs.exfat, mount.exfat-fuse, losetup, fls/icat/tsk_recover, hyperfine,
# jq and GNU time. The image is made once and kept in $BENCH_DIR (default
# /tmp/vantor-bench-exfat); making it takes a few minutes. RUNS (default 5)
# and SAVE_RUNS (default 3) set the timed runs of each command. The saved
# trees go to $SAVE_DIR, by default a folder on the /dev/shm tmpfs when it has
# 3 GiB free (else below $BENCH_DIR), and removed at the end: on a disk,
# making and removing 100,000 files costs more than reading them, and the
# times would be the disk's.
set -euo pipefail
cd "$(dirname "$0")/.."

VANTOR=$(realpath "${1:-build/src/vantor}")
BENCH_DIR=${BENCH_DIR:-/tmp/vantor-bench-exfat}
IMG=$BENCH_DIR/exfat-2g.img
MNT=$BENCH_DIR/mnt
OUT=$BENCH_DIR/out
if [[ -z ${SAVE_DIR:-} ]]; then
    if [[ $(stat -f -c %T /dev/shm 2>/dev/null) == tmpfs ]] &&
        (( $(df -k --output=avail /dev/shm | tail -1) > 3 * 1024 * 1024 )); then
        SAVE_DIR=/dev/shm/vantor-bench-exfat-save
    else
        SAVE_DIR=$BENCH_DIR/save
    fi
fi
RUNS=${RUNS:-5}
SAVE_RUNS=${SAVE_RUNS:-3}
VOL=(--start-sector 0 --fs FAT64)

[[ -x $VANTOR ]] || { echo "no vantor binary at $VANTOR (build first, or pass its path)" >&2; exit 1; }
for tool in mkfs.exfat mount.exfat-fuse losetup fls icat tsk_recover hyperfine jq sha256sum /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
mkdir -p "$BENCH_DIR" "$MNT"

LOOP=""
cleanup() {
    mountpoint -q "$MNT" && umount "$MNT" || true
    [[ -n $LOOP ]] && losetup -d "$LOOP" || true
    rm -rf "$SAVE_DIR"
}
trap cleanup EXIT

if [[ ! -f $IMG ]]; then
    echo "making $IMG: 100,000 small files in 100 folders, 3 large files (once, a few minutes)" >&2
    rm -f "$IMG.tmp"
    truncate -s 2G "$IMG.tmp"
    # 4 KiB clusters: at the default 32 KiB, 100,000 files would not fit.
    mkfs.exfat -c 4K -L BENCH "$IMG.tmp" >/dev/null
    LOOP=$(losetup -f --show "$IMG.tmp")   # exfat-fuse refuses a plain file
    mount.exfat-fuse -o noatime "$LOOP" "$MNT" 2>/dev/null
    nice -n 10 python3 - "$MNT" <<'PY'
import os, sys
root = sys.argv[1]
# 10 x 10 folders of 1000 files each, 5 bytes to about 6 KiB: names of one
# to three name entries, contents that tell the file apart.
names = ["a.txt", "report-{n:06d}.txt", "file-{n:06d}-with-a-longer-name.data"]
n = 0
for top in range(10):
    for sub in range(10):
        folder = f"{root}/tree/d{top:02d}/s{sub:02d}"
        os.makedirs(folder)
        for i in range(1000):
            name = names[i % 3].format(n=n) if i % 3 else f"f{n:06d}"
            line = f"{n} {top} {sub} {i}\n".encode()
            size = 5 + (n * 7919) % 6000
            with open(f"{folder}/{name}", "wb") as f:
                f.write((line * (size // len(line) + 1))[:size])
            n += 1
# Large files: one written in one go (contiguous), one written a MiB at a
# time between small files (in pieces along the cluster chain), one patterned.
block = os.urandom(1 << 20)
os.makedirs(f"{root}/big/fill")
with open(f"{root}/big/random-200m.bin", "wb") as f:
    for i in range(200):
        f.write(block[i:] + block[:i])
with open(f"{root}/big/pieces-100m.bin", "wb") as big:
    for i in range(100):
        big.write(block[-i:] + block[:-i]); big.flush(); os.fsync(big.fileno())
        with open(f"{root}/big/fill/{i:03d}", "wb") as f:
            f.write(b"x" * 8192); f.flush(); os.fsync(f.fileno())
with open(f"{root}/big/pattern-64m.bin", "wb") as f:
    for i in range(64):
        f.write(i.to_bytes(4, "little") * (1 << 18))
PY
    sync
    umount "$MNT"
    losetup -d "$LOOP"
    LOOP=""
    mv "$IMG.tmp" "$IMG"
    echo "made in $SECONDS s" >&2
fi

cat "$IMG" > /dev/null   # warm the page cache for both sides

# One untimed run of each, to check what they list and save.
rm -rf "$OUT" "$SAVE_DIR"; mkdir -p "$OUT" "$SAVE_DIR"
"$VANTOR" ls -r --json --quiet "$IMG" "${VOL[@]}" > "$OUT/vantor.json" 2> "$OUT/vantor-ls.err" ||
    echo "vantor ls exited $? ($(wc -l < "$OUT/vantor-ls.err") lines on stderr)" >&2
fls -r -p "$IMG" > "$OUT/fls.txt"
# fls's own entries ($MBR, $FAT1, $OrphanFiles, ...) start with '$'; it also
# lists the volume label as a file.
grep -v -P '^[^\t]*\t(\$|.* \(Volume Label Entry\)$)' "$OUT/fls.txt" > "$OUT/fls-live.txt" || true
jq -r '.entries[] | select(.folder | not) | select(.deleted | not) | .path' "$OUT/vantor.json" |
    sed 's|^ROOT/||' | sort > "$OUT/vantor-files.txt"
grep -P '^r/r ' "$OUT/fls-live.txt" | grep -v -P '^r/r \* ' | cut -f2- | sort > "$OUT/fls-files.txt"
entries=$(jq '.entries | length' "$OUT/vantor.json")
vfiles=$(wc -l < "$OUT/vantor-files.txt")
ffiles=$(wc -l < "$OUT/fls-files.txt")
echo "entries listed: vantor $entries ($vfiles live files), fls $(wc -l < "$OUT/fls.txt") ($ffiles live files)"
if ! cmp -s "$OUT/vantor-files.txt" "$OUT/fls-files.txt"; then
    echo "the live files differ (< vantor only, > fls only):" >&2
    diff "$OUT/vantor-files.txt" "$OUT/fls-files.txt" | head -20 >&2 || true
fi
if (( $(jq '[.entries[] | select(.warnings | length > 0)] | length' "$OUT/vantor.json") > 0 )); then
    echo "entries with warnings:" >&2
    jq -r '.entries[] | select(.warnings | length > 0) | "\(.path): \(.warnings | join("; "))"' "$OUT/vantor.json" | head >&2
fi

"$VANTOR" save --quiet "$IMG" "${VOL[@]}" --out "$SAVE_DIR/vantor" 2> "$OUT/vantor-save.err" ||
    { echo "vantor save exited $?:" >&2; tail -5 "$OUT/vantor-save.err" >&2; }
tsk_recover -e "$IMG" "$SAVE_DIR/tsk" > "$OUT/tsk.txt" 2>&1 || true
echo "vantor save: $(tail -1 "$OUT/vantor-save.err"); tsk_recover: $(tail -1 "$OUT/tsk.txt")"
# tsk_recover also writes two of the volume's own structures as files.
if diff -r -q -x '$ALLOC_BITMAP' -x '$UPCASE_TABLE' "$SAVE_DIR/vantor" "$SAVE_DIR/tsk" > "$OUT/diff.txt"; then
    echo "the saved trees are the same, byte for byte"
else
    echo "the saved trees differ ($(wc -l < "$OUT/diff.txt") lines; $OUT/diff.txt):" >&2
    head -10 "$OUT/diff.txt" >&2
fi
# sha256 of a few saved files against icat's: the large ones and every
# 2500th small one.
bad=0 checked=0
while IFS=$'\t' read -r inode path; do
    want=$(icat "$IMG" "$inode" | sha256sum | cut -c1-64)
    got=$(sha256sum < "$SAVE_DIR/vantor/$path" | cut -c1-64) || got=missing
    [[ $want == "$got" ]] || { echo "sha256 differs from icat's: $path" >&2; bad=1; }
    checked=$((checked + 1))
done < <(grep -P '^r/r [0-9]+:\t' "$OUT/fls-live.txt" | awk '/\tbig\/[^\/]*$/ || NR % 2500 == 0' |
    sed -E 's/^r\/r ([0-9]+):\t/\1\t/')
(( bad )) || echo "sha256 of $checked saved files (the large ones, every 2500th small one): the same as icat's"
rm -rf "$SAVE_DIR/vantor" "$SAVE_DIR/tsk"

measure_mem() {  # peak RSS in KiB of one run of a command
    /usr/bin/time -o "$BENCH_DIR/time.txt" -f "%M" bash -c "$1" >/dev/null 2>&1 || true
    tail -1 "$BENCH_DIR/time.txt"
}
ls_mem=$(measure_mem "'$VANTOR' ls -r --json --quiet '$IMG' ${VOL[*]}")
fls_mem=$(measure_mem "fls -r -p '$IMG'")
save_mem=$(measure_mem "rm -rf '$SAVE_DIR/v'; '$VANTOR' save --quiet '$IMG' ${VOL[*]} --out '$SAVE_DIR/v'")
tsk_mem=$(measure_mem "rm -rf '$SAVE_DIR/t'; tsk_recover -e '$IMG' '$SAVE_DIR/t'")

hyperfine --warmup 1 --runs "$RUNS" --export-json "$BENCH_DIR/ls.json" \
    -n "vantor ls -r --json" "'$VANTOR' ls -r --json --quiet '$IMG' ${VOL[*]}" \
    -n "fls -r -p" "fls -r -p '$IMG'" >&2
hyperfine --warmup 1 --runs "$SAVE_RUNS" --export-json "$BENCH_DIR/save.json" \
    --prepare "rm -rf '$SAVE_DIR/v' '$SAVE_DIR/t'" \
    -n "vantor save" "'$VANTOR' save --quiet '$IMG' ${VOL[*]} --out '$SAVE_DIR/v'" \
    -n "tsk_recover -e" "tsk_recover -e '$IMG' '$SAVE_DIR/t' > /dev/null" >&2
rm -rf "$SAVE_DIR/v" "$SAVE_DIR/t"

python3 - "$BENCH_DIR/ls.json" "$BENCH_DIR/save.json" "$entries" "$ls_mem" "$fls_mem" "$save_mem" "$tsk_mem" <<'PY'
import json, sys
ls, save = ({r["command"]: r for r in json.load(open(p))["results"]} for p in sys.argv[1:3])
entries, ls_mem, fls_mem, save_mem, tsk_mem = map(int, sys.argv[3:8])
print(f"{'command':<22} {'median s':>9} {'min s':>7} {'peak KiB':>9}")
for r, mem in ((ls["vantor ls -r --json"], ls_mem), (ls["fls -r -p"], fls_mem),
               (save["vantor save"], save_mem), (save["tsk_recover -e"], tsk_mem)):
    print(f"{r['command']:<22} {r['median']:9.3f} {r['min']:7.3f} {mem:9d}")
def ratio(a, b):
    return f"time {a['median'] / b['median']:.2f} (fastest {a['min'] / b['min']:.2f})"
print(f"listing vantor/fls: {ratio(ls['vantor ls -r --json'], ls['fls -r -p'])}, memory {ls_mem / fls_mem:.2f}")
print(f"saving vantor/tsk_recover: {ratio(save['vantor save'], save['tsk_recover -e'])}, memory {save_mem / tsk_mem:.2f}")
per = ls_mem * 1024 / entries
print(f"vantor ls -r --json: {entries} entries, peak {ls_mem} KiB, {per:.0f} bytes per entry"
      f" ({'under' if per < 1024 else 'over'} the 1 KiB goal)")
PY
