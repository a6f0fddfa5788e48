#!/usr/bin/env bats
# Failures made to happen for real: each must be reported, with status -1,
# never as success.

bats_require_minimum_version 1.5.0
load helpers

setup() {
  cd "$BATS_TEST_TMPDIR"
  make_file inserted 200000 3
}

@test "a full device as the mother file is a write failure" {
  for len in 10 30D40; do
    fails_with "Can't write file /dev/full: No space left on device" /dev/full inserted 0 "$len"
  done
}

@test "the file size limit is reported as a write failure, not a signal" {
  make_file mother 1000 4
  run --separate-stderr bash -c 'ulimit -f 64 && exec "$MIRABUND" mother inserted 100'
  [ "$status" -eq 255 ]
  [ "$output" = "Can't write file mother: File too large" ]
  [ "$stderr" = "" ]
}

# unchanged FILE COPY: FILE still has COPY's bytes and size.
unchanged() {
  cmp "$1" "$2"
  [ "$(size_of "$1")" -eq "$(size_of "$2")" ]
}

# mount_scratch DIR TYPE SIZE: mounts a fresh filesystem of SIZE on DIR,
# or skips the test with the reason.
mount_scratch() {
  local dir=$1 type=$2 size=$3
  mkdir -p "$dir"
  if [ "$type" = tmpfs ]; then
    mount -t tmpfs -o "size=$size" tmpfs "$dir" 2>/dev/null ||
      skip "cannot mount a tmpfs here (needs root and mount rights)"
  else
    command -v "mkfs.$type" >/dev/null || skip "mkfs.$type is not installed"
    # The image lives in memory: filling it must not take the space of the
    # disk the tests run on.
    mount_scratch "$dir.store" tmpfs "$size"
    truncate -s "$size" "$dir.store/image"
    local force=-F
    [ "$type" = xfs ] && force=-f
    "mkfs.$type" -q "$force" "$dir.store/image" >/dev/null
    mount -o loop "$dir.store/image" "$dir" 2>/dev/null ||
      skip "cannot loop-mount an image here (needs root and loop devices)"
  fi
  MOUNTED+=("$dir")
}

# fill DIR: takes every free block of DIR's filesystem.  Filesystems give
# back blocks they held ahead for a growing file once it is written out,
# so it fills until nothing more fits.
fill() {
  local n
  for n in 1 2 3; do
    dd if=/dev/zero of="$1/filler$n" bs=4K status=none 2>/dev/null || true
    sync -f "$1"
  done
}

# attach_loop FILE: backs a loop device with FILE and names it in
# $LOOP_DEVICE, or skips.  Not run in a subshell, so teardown learns of it.
attach_loop() {
  LOOP_DEVICE=$(losetup -f --show "$1" 2>/dev/null) ||
    skip "cannot attach a loop device here (needs root and loop devices)"
  LOOPS+=("$LOOP_DEVICE")
}

teardown() {
  local i
  for (( i = ${#MOUNTED[@]} - 1; i >= 0; i-- )); do  # the last mounted first
    umount "${MOUNTED[i]}" 2>/dev/null || true
  done
  for device in "${LOOPS[@]}"; do losetup -d "$device" 2>/dev/null || true; done
}

@test "a range crossing the file size limit writes nothing" {
  make_file mother 1000 4
  cp mother original
  run --separate-stderr bash -c 'ulimit -f 64 && exec "$MIRABUND" mother inserted 64'
  [ "$status" -eq 255 ]
  [ "$output" = "Can't write file mother: File too large" ]
  unchanged mother original
  # Inside the limit the same limit is no obstacle.
  run --separate-stderr bash -c 'ulimit -f 64 && exec "$MIRABUND" mother inserted 64 FF00'
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
}

# full_filesystem TYPE SIZE: on a full filesystem of TYPE, a range that
# needs new blocks is refused with the file left whole, and an overwrite of
# bytes the file already holds still works.
full_filesystem() {
  MOUNTED=()
  mount_scratch mnt "$1" "$2"
  make_file mnt/mother 100000 5
  cp mnt/mother original
  sync -f mnt
  fill mnt

  fails_with "Can't write file mnt/mother: No space left on device" mnt/mother inserted 10000
  unchanged mnt/mother original

  # Past the end, after a gap: the same.
  fails_with "Can't write file mnt/mother: No space left on device" mnt/mother inserted 80000 10000
  unchanged mnt/mother original

  # Overwriting bytes the file already has needs no new space.
  expect_patched expected original inserted 4096 65536
  run_mirabund mnt/mother inserted 1000 10000
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  unchanged mnt/mother expected
}

@test "a full tmpfs refuses a range needing space and leaves the file whole" {
  full_filesystem tmpfs 1M
}

@test "a full ext4 refuses a range needing space and leaves the file whole" {
  full_filesystem ext4 8M
}

@test "a full XFS refuses a range needing space and leaves the file whole" {
  full_filesystem xfs 300M
}

@test "a write that fails part way sets the size back" {
  MOUNTED=()
  # ext2 cannot reserve blocks ahead, so the copy itself runs out of space.
  mount_scratch mnt ext2 2M
  make_file mnt/mother 5000 6
  cp mnt/mother original
  fill mnt
  truncate -s -64K mnt/filler1  # room for the copy to start, not to end
  fails_with "Can't write file mnt/mother: No space left on device" mnt/mother inserted 1388
  unchanged mnt/mother original
}

@test "a range crossing the filesystem's largest file writes nothing" {
  [ "$(stat -f -c %T .)" = "ext2/ext3" ] ||
    skip "the largest file is known here for ext4 only"
  [ "$(stat -f -c %S .)" -eq 4096 ] || skip "ext4 with other than 4K blocks"
  make_file mother 1000 7
  cp mother original
  # ext4 with 4K blocks: 16 TiB less one block.
  fails_with "Can't write file mother: File too large" mother inserted FFFFFFFF000 1
  unchanged mother original
  run_mirabund mother inserted FFFFFFFEF00 101
  [ "$status" -eq 255 ]
  unchanged mother original
  run_mirabund mother inserted FFFFFFFEF00 100
  [ "$status" -eq 0 ]
  [ "$(size_of mother)" -eq $((0xFFFFFFFF000)) ]
  cmp <(tail -c 256 mother) <(head -c 256 inserted)
}

@test "the gap past the old end stays a hole" {
  : > mother
  run_mirabund mother inserted 10000000 1000
  [ "$status" -eq 0 ]
  [ "$(size_of mother)" -eq $((0x10000000 + 0x1000)) ]
  # Allocated blocks cover the range, not the 256 MiB before it.
  [ "$(( $(stat -c %b mother) * $(stat -c %B mother) ))" -lt $((1024 * 1024)) ]
}

@test "an inserted file that ends before its measured size" {
  # sysfs files claim a size of one page and hold a few bytes: the copy
  # meets the end early, just as with a file truncated during the run.
  local source=/sys/devices/system/cpu/possible
  [ -r "$source" ] || skip "$source is not here"
  local content
  content=$(cat "$source"; echo x)
  content=${content%x}
  printf '%s' "$content" > read_part
  make_file mother 100 8
  cp mother original
  fails_with "Can't read file $source: Unexpected end of file" mother "$source" 62
  # What was read is in place; the growth past the old end is undone.
  expect_patched expected original read_part 98 2
  unchanged mother expected
}

@test "a read error part way stops the copy after the bytes it read" {
  MOUNTED=()
  command -v debugfs >/dev/null || skip "debugfs is not installed"
  # ext2 with 1 KiB blocks keeps the 13th block on of a file behind an
  # indirect block; filling that block with garbage makes the file readable
  # up to 12 KiB and fail there, as a bad sector would.
  truncate -s 4M disk.img
  mkfs.ext2 -q -F -b 1024 disk.img
  mkdir -p mnt
  mount -o loop disk.img mnt 2>/dev/null ||
    skip "cannot loop-mount an image here (needs root and loop devices)"
  MOUNTED+=(mnt)
  cp inserted mnt/broken
  umount mnt
  local indirect
  indirect=$(debugfs -R "stat /broken" disk.img 2>/dev/null |
             sed -n 's/.*(IND):\([0-9]*\).*/\1/p')
  [ -n "$indirect" ]
  head -c 1024 /dev/zero | tr '\0' '\377' |
    dd of=disk.img bs=1024 seek="$indirect" conv=notrunc status=none
  mount -o loop disk.img mnt

  make_file mother 50000 9
  cp mother original
  fails_with "Can't read file mnt/broken: Input/output error" mother mnt/broken 10
  expect_patched expected original inserted 16 12288
  unchanged mother expected

  # Reaching past the end: what was read stays, the growth goes.
  cp original mother
  fails_with "Can't read file mnt/broken: Input/output error" mother mnt/broken C000
  expect_patched expected original inserted 49152 848
  unchanged mother expected
}

@test "a block device is measured as the inserted file and bounded as the mother" {
  LOOPS=()
  make_file disk 65536 10
  cp disk disk.original
  attach_loop disk
  local device=$LOOP_DEVICE

  # As the inserted file: its size is the device's, not stat's 0.
  make_file mother 1000 11
  expect_patched expected mother disk 0 65536
  run_mirabund mother "$device" 0
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother expected
  fails_with "FileLen 10001 exceeds size of file $device" mother "$device" 0 10001

  # As the mother: a device does not grow, so a range past its end is
  # refused before anything is written.
  fails_with "Can't write file $device: No space left on device" "$device" inserted FF00
  sync
  cmp disk disk.original
  run_mirabund "$device" inserted 0 100
  [ "$status" -eq 0 ]
  sync
  expect_patched expected disk.original inserted 0 256
  cmp disk expected
}
