#!/usr/bin/env bash
# The benchmark: mirabund side by side with GNU dd and a bare
# copy_file_range loop (the limit), on this machine, in one run.
#
#   bash bench/run.sh [WORK_DIR]
#
# WORK_DIR (default: a new folder under /var/tmp) needs about 4 GiB free.
# Run as root for the XFS case, which loop-mounts a scratch image; without
# root it is skipped with the reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench

if [ "$(id -u)" -eq 0 ]; then
  for p in time xfsprogs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p" >/dev/null
  done
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRABUND_BENCH=ON \
  -DMIRABUND_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
mirabund=$build/mirabund
alternate=$build/bench/alternate
bare=$build/bench/bare_copy

work=${1:-$(mktemp -d /var/tmp/mirabund-bench.XXXXXX)}
mkdir -p "$work"
cd "$work"
mounted=
cleanup() {
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  rm -rf "$work/src1g" "$work/mother1g" "$work/mother1m" "$work/patch16" \
         "$work/xfs" "$work/xfs.img"
}
trap cleanup EXIT

echo "## Machine"
echo
echo "- $(nproc) cores:$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)," \
     "$(free -g | awk '/^Mem:/ {print $2}') GiB"
echo "- kernel $(uname -r); work folder on $(stat -f -c %T .)" \
     "($(df -T . | awk 'NR == 2 {print $2}'))"
echo "- $(dd --version | head -n 1)"

head -c 1G /dev/urandom > src1g
cp src1g mother1g
truncate -s +4096 mother1g
head -c 1M /dev/urandom > mother1m
head -c 16 /dev/urandom > patch16
sync

dd_copy() {  # dd_copy BS SEEK SOURCE TARGET
  echo "dd if=$3 of=$4 bs=$1 conv=notrunc oflag=seek_bytes seek=$2 status=none"
}

for pos in 0 291; do
  "$alternate" --sync 11 "1 GiB in the page cache at $(printf '0x%x' $pos)" \
    "mirabund|$mirabund mother1g src1g $(printf '%x' $pos)" \
    "bare copy_file_range|$bare src1g mother1g $pos" \
    "dd bs=64K|$(dd_copy 64K $pos src1g mother1g)" \
    "dd bs=1M|$(dd_copy 1M $pos src1g mother1g)"
done

sync
"$alternate" 500 "16-byte patch into a 1 MiB file" \
  "mirabund|$mirabund mother1m patch16 1000" \
  "bare copy_file_range|$bare patch16 mother1m 4096" \
  "dd bs=64K|$(dd_copy 64K 4096 patch16 mother1m)" \
  "dd bs=1M|$(dd_copy 1M 4096 patch16 mother1m)"

echo
echo "Peak resident memory of the 1 GiB copy (GNU time %M, median of 5)"
echo
echo "| command | peak RSS |"
echo "|---|---:|"
peak() {  # peak NAME COMMAND...
  local name=$1 runs=()
  shift
  for _ in 1 2 3 4 5; do
    runs+=("$(/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1)")
  done
  echo "| $name | $(printf '%s\n' "${runs[@]}" | sort -n | sed -n 3p) KiB |"
}
peak mirabund "$mirabund" mother1g src1g 0
peak "bare copy_file_range" "$bare" src1g mother1g 0
# shellcheck disable=SC2046
peak "dd bs=64K" $(dd_copy 64K 0 src1g mother1g)
# shellcheck disable=SC2046
peak "dd bs=1M" $(dd_copy 1M 0 src1g mother1g)

echo
echo "### XFS with reflink"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: loop-mounting a scratch XFS needs root"
  exit 0
fi
truncate -s 4G xfs.img
mkfs.xfs -q -m reflink=1 xfs.img
mkdir -p xfs
if ! mount -o loop xfs.img xfs 2>/dev/null; then
  echo "skipped: this machine refuses loop mounts"
  exit 0
fi
mounted=$work/xfs
cp src1g xfs/src1g
cp src1g xfs/mother1g
rm -f src1g mother1g
sync
# Each timed run starts from a mother file with blocks of its own, as a
# real one has; otherwise a copy right after another would find its
# extents already shared and have nothing to do.
"$alternate" --reset "$(dd_copy 1M 0 xfs/src1g xfs/mother1g)" --sync 5 \
  "1 GiB at 0x0 on XFS with reflink" \
  "mirabund|$mirabund xfs/mother1g xfs/src1g 0" \
  "bare copy_file_range|$bare xfs/src1g xfs/mother1g 0" \
  "dd bs=64K|$(dd_copy 64K 0 xfs/src1g xfs/mother1g)" \
  "dd bs=1M|$(dd_copy 1M 0 xfs/src1g xfs/mother1g)"
"$mirabund" xfs/mother1g xfs/src1g 0
sync
echo
echo "filefrag -v of the mother file after mirabund:"
echo
filefrag -v xfs/mother1g | sed 's/^/    /'
