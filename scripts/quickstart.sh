#!/usr/bin/env bash
# Sets everything up, builds, and recovers the files of the bundled sample
# disk image's ext volume into ./recovered (the image itself is only read).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
image=build/fixtures/sample-disk.img
echo "== volumes of the sample disk"
build/src/vantor partitions "$image"
echo "== recovering the ext volume into ./recovered"
rm -rf recovered
volume=0  # the sample disk's first partition is its ext4 volume
build/src/vantor save "$image" --volume "$volume" --out recovered
echo "== saved"
find recovered -type f | sort
