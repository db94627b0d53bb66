#!/usr/bin/env bash
# Installs what building, running and testing Vantor need, from Debian's packages.
# Packages already present are not fetched again.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config zstd
  libgtest-dev libgmock-dev libfmt-dev libcli11-dev nlohmann-json3-dev
  qt6-base-dev libgl-dev
  sleuthkit            # mmls/fls/icat: oracles of the cross-check tests
  libfuse3-dev fuse3   # a FUSE file system that fails chosen sectors, for the bad-sector tests
  exfatprogs exfat-fuse e2fsprogs  # save targets of the tests: a case-blind exFAT, a mounted source
)
if [ "${1:-}" = "--with-fixture-tools" ]; then
  # Only to re-make fixture images from their recipes in tests/fixtures/ and
  # to run the benchmarks in bench/.
  packages+=(fdisk gdisk e2fsprogs dosfstools mtools ntfs-3g exfatprogs exfat-fuse attr
             python3 libjpeg-turbo-progs time hyperfine faketime psmisc)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
