#!/bin/bash
# Listing speed and memory of the ext reader against The Sleuth Kit's fls on
# an ext4 volume of 200,000 files, both run here, one after the other.
# The volume is made with mke2fs -d from a generated tree under /tmp and
# removed afterwards.
#   usage: bench/bench_ext_listing.sh [path/to/vantor] [file count]
set -euo pipefail
vantor=${1:-$(dirname "$0")/../build/src/vantor}
count=${2:-200000}
command -v fls > /dev/null || { echo "fls (The Sleuth Kit) is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for peak memory" >&2; exit 1; }
work=$(mktemp -d /tmp/bench_ext.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "making $count files..." >&2
python3 - "$work/tree" "$count" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
per_dir = 1000
for d in range((count + per_dir - 1) // per_dir):
    folder = os.path.join(root, "dir%04d" % d, "sub")
    os.makedirs(folder)
    for i in range(min(per_dir, count - d * per_dir)):
        # Mostly empty files, every tenth with a line: inode-bound like a real tree.
        with open(os.path.join(folder, "file-%06d.txt" % (d * per_dir + i)), "w") as f:
            if i % 10 == 0:
                f.write("content of file %d\n" % i)
PY
echo "making the ext4 volume..." >&2
truncate -s 2G "$work/volume.img"
mke2fs -q -F -t ext4 -b 4096 -I 256 -N $((count + count / 10 + 1000)) -d "$work/tree" "$work/volume.img"
rm -rf "$work/tree"

# Warm the page cache so both tools read from memory.
cat "$work/volume.img" > /dev/null

measure() {  # label, command...: prints "label seconds peak_kib"
    local label=$1
    shift
    /usr/bin/time -v "$@" > "$work/$label.out" 2> "$work/$label.time"
    local wall peak
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$label.time" |
        awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$label.time")
    echo "$label $wall $peak"
}

# The reader's own share: a scan with only the top level printed; then the
# whole tree as text and as JSON (the JSON document is built by the command).
read -r _ sWall sPeak < <(measure scan "$vantor" ls "$work/volume.img" --quiet)
read -r _ tWall tPeak < <(measure text "$vantor" ls "$work/volume.img" -r --quiet)
read -r _ vWall vPeak < <(measure vantor "$vantor" ls "$work/volume.img" -r --json --quiet)
read -r _ fWall fPeak < <(measure fls fls -r -p "$work/volume.img")
entries=$(grep -c '"path"' "$work/vantor.out" || true)
flsEntries=$(wc -l < "$work/fls.out")

printf 'entries listed: vantor %s, fls %s\n' "$entries" "$flsEntries"
printf 'vantor ls (scan, top level): %8.2f s  peak %8d KiB\n' "$sWall" "$sPeak"
printf 'vantor ls -r:                %8.2f s  peak %8d KiB\n' "$tWall" "$tPeak"
printf 'vantor ls -r --json:         %8.2f s  peak %8d KiB\n' "$vWall" "$vPeak"
printf 'fls -r -p:                   %8.2f s  peak %8d KiB\n' "$fWall" "$fPeak"
awk -v sw="$sWall" -v tw="$tWall" -v vw="$vWall" -v fw="$fWall" -v sp="$sPeak" -v tp="$tPeak" -v vp="$vPeak" \
    -v fp="$fPeak" -v n="$entries" 'BEGIN {
    if (fw <= 0) fw = 0.01
    printf "time vs fls:   scan %.2f, ls -r %.2f, ls -r --json %.2f\n", sw / fw, tw / fw, vw / fw
    printf "memory vs fls: scan %.2f, ls -r %.2f, ls -r --json %.2f\n", sp / fp, tp / fp, vp / fp
    printf "peak bytes per entry: scan %.0f, ls -r %.0f, ls -r --json %.0f\n", sp * 1024 / n, tp * 1024 / n, vp * 1024 / n
}'
