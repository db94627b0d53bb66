#!/usr/bin/env bash
# Remakes the raw seeds of tests/fuzz/corpus/ from the committed fixture
# images: the leading part of each volume, where its superblock or boot
# sector, its first inodes or MFT records and, where they fit, its root
# folder lie; the heads of the disk images for the partition target; and
# compression units of the NTFS image's compressed files, as the file system
# wrote them, for the LZNT1 target.
#
#   tests/fuzz/make_seeds.sh OUT_DIR
#
# writes OUT_DIR/<target>/ for every target. These are the raw seeds; the
# committed corpus is what `<target> -merge=1 corpus/<target> OUT_DIR/<target>`
# keeps of them. Needs zstd, and TSK's istat to find the compressed clusters.
set -euo pipefail
out=${1:?usage: make_seeds.sh OUT_DIR}
root=$(cd "$(dirname "$0")/../.." && pwd)
fixtures=$root/tests/fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

image() {  # image NAME: the decompressed fixture, made once
  [ -f "$work/$1.img" ] || zstd -qdc "$fixtures/$1.img.zst" >"$work/$1.img"
  echo "$work/$1.img"
}
cut_bytes() {  # cut_bytes NAME OFFSET LENGTH DEST
  dd if="$(image "$1")" of="$4" bs=64K iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none
}

mkdir -p "$out"/{fuzz_ext,fuzz_fat,fuzz_ntfs,fuzz_partitions,fuzz_lznt1}

# ext: superblock, descriptors, bitmaps and as much of the inode table and the
# first directories as a short prefix holds.
cut_bytes ext2_1k 0 $((198 * 1024)) "$out/fuzz_ext/ext2_1k-head"            # root folder at block 197
cut_bytes ext4_default 0 $((172 * 1024)) "$out/fuzz_ext/ext4_default-head"  # inode table at block 41
cut_bytes ext4_metabg 0 $((84 * 1024)) "$out/fuzz_ext/ext4_metabg-head"     # root at 67, first folders at 80-83
cut_bytes ext4_large 0 $((144 * 1024)) "$out/fuzz_ext/ext4_large-head"      # inodes 12-13 in the extent form
cut_bytes ext3_journal 0 $((24 * 1024)) "$out/fuzz_ext/ext3_journal-head"   # root inode at the table's start
cut_bytes ext4_16k 0 $((64 * 1024)) "$out/fuzz_ext/ext4_16k-head"
cut_bytes ext4_64k 0 $((68 * 1024)) "$out/fuzz_ext/ext4_64k-head"

# FAT: the FAT16 volumes hold their FATs, root folder and first clusters in
# 128 KiB; the FAT32 volumes' data starts at 1 MiB, so only their reserved
# sectors and FAT starts.
cut_bytes fat16_basic 0 $((128 * 1024)) "$out/fuzz_fat/fat16_basic-head"
cut_bytes fat16_noboot 0 $((128 * 1024)) "$out/fuzz_fat/fat16_noboot-head"
cut_bytes fat32_basic 0 $((64 * 1024)) "$out/fuzz_fat/fat32_basic-head"
cut_bytes fat32_formatted 0 $((64 * 1024)) "$out/fuzz_fat/fat32_formatted-head"

# NTFS: boot sector and the MFT's first records ($MFT at cluster 4 of 4 KiB,
# 1 KiB records: records 0-79 are the system files, docs/, packed/, frag/,
# sparse.bin); the partitioned image's volume, 1 KiB clusters, $MFT at 16.
cut_bytes ntfs_basic 0 $((16 * 1024 + 80 * 1024)) "$out/fuzz_ntfs/ntfs_basic-head"
cut_bytes ntfs_basic 0 $((16 * 1024 + 27 * 1024)) "$out/fuzz_ntfs/ntfs_basic-system"
cut_bytes ntfs_part $((2048 * 512)) $((16 * 1024 + 80 * 1024)) "$out/fuzz_ntfs/ntfs_part-volume"

# Partitions: the tables at the start of each disk image, and bare volumes'
# first sectors for the sweep.
cut_bytes parts-gpt 0 $((34 * 512)) "$out/fuzz_partitions/parts-gpt-tables"
cut_bytes parts-mbr 0 512 "$out/fuzz_partitions/parts-mbr-table"
cut_bytes parts-wiped 0 $((34 * 512)) "$out/fuzz_partitions/parts-wiped-head"
cut_bytes sample-disk 0 512 "$out/fuzz_partitions/sample-disk-table"
cut_bytes ext4_partitioned 0 512 "$out/fuzz_partitions/ext4_partitioned-table"
cut_bytes ntfs_part 0 512 "$out/fuzz_partitions/ntfs_part-table"
cut_bytes ntfs_basic 0 8192 "$out/fuzz_partitions/bare-ntfs"
cut_bytes fat16_basic 0 4096 "$out/fuzz_partitions/bare-fat16"
cut_bytes fat32_basic 0 $((16 * 1024)) "$out/fuzz_partitions/bare-fat32"
cut_bytes ext4_default 0 4096 "$out/fuzz_partitions/bare-ext4"

# LZNT1: each compression unit's allocated clusters (16 clusters of 4 KiB make
# a unit; a unit with fewer allocated is compressed), behind the two bytes
# that choose the output size: 0x800F, a 64 KiB unit.
ntfs=$(image ntfs_basic)
unit_seed() {  # unit_seed NAME FIRST_CLUSTER COUNT
  { printf '\x0f\x80'; dd if="$ntfs" bs=4096 skip="$2" count="$3" status=none; } >"$out/fuzz_lznt1/$1"
}
clusters() { istat "$ntfs" "$1" | sed -n '/Type: \$DATA (128-2)/,/^Type:/p' | grep -E '^[0-9 ]+$' | tr -s ' \n' ' '; }
for record in 72 74; do  # packed/text.txt, packed/mixed.bin
  read -r -a lcn <<<"$(clusters "$record")"
  unit=0
  for ((i = 0; i < ${#lcn[@]}; i += 16)); do
    first=${lcn[$i]} count=0
    for ((j = i; j < i + 16 && j < ${#lcn[@]}; ++j)); do [ "${lcn[$j]}" != 0 ] && count=$((count + 1)); done
    if [ "$first" != 0 ] && [ "$count" -lt 16 ]; then
      unit_seed "record$record-unit$unit" "$first" "$count"
    fi
    unit=$((unit + 1))
  done
done
