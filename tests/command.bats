#!/usr/bin/env bats
# The command as a user runs it: arguments, messages, statuses, bytes.

bats_require_minimum_version 1.5.0
load helpers

USAGE="Usage:mirabund mother_file inserted_file from_pos(HEX) [FileLen(HEX)]"

setup() {
  cd "$BATS_TEST_TMPDIR"
  make_file mother 1000 1
  make_file inserted 300 2
  cp mother original
}

# patched_ok POS LEN ARGS...: runs the command with ARGS and checks that it
# succeeded silently and wrote LEN bytes of inserted at POS (decimal).
patched_ok() {
  local pos=$1 len=$2
  shift 2
  expect_patched expected original inserted "$pos" "$len"
  run_mirabund "$@"
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  [ "$stderr" = "" ]
  cmp mother expected
}

# refused STATUS-LINE ARGS...: the run must print exactly the line, end
# with -1, and leave the mother file as it was.
refused() {
  local line=$1
  shift
  fails_with "$line" "$@"
  cmp mother original
}

@test "too few arguments print the usage text" {
  for args in "" "mother" "mother inserted"; do
    # shellcheck disable=SC2086
    fails_with "$USAGE" $args
  done
  cmp mother original
}

@test "a missing mother file is named, not created, and the inserted file is not opened" {
  mkfifo fifo  # opening it for reading would block with no writer
  run --separate-stderr timeout 10 "$MIRABUND" ./no-such-file fifo 0
  [ "$status" -eq 255 ]
  [ "$output" = "Can't open input file ./no-such-file" ]
  [ ! -e no-such-file ]
}

@test "a directory as the mother file cannot be opened" {
  mkdir dir
  fails_with "Can't open input file dir" dir inserted 0
}

@test "a missing inserted file is named and the mother stays as it was" {
  refused "Can't open file ./missing" mother ./missing 10
}

@test "a directory as the inserted file cannot be opened" {
  mkdir dir
  refused "Can't open file dir/" mother dir/ 10
}

@test "three arguments write the whole inserted file" {
  patched_ok 16 300 mother inserted 10
}

@test "positions are read in every written form" {
  for form in 100 0x100 0X100 100L " 100" $'\t100' +100 100zz 0100; do
    cp original mother
    patched_ok 256 300 mother inserted "$form"
  done
}

@test "positions without digits, and -0, start at the first byte" {
  for form in zz - 0x "" -0 -0x0; do
    cp original mother
    patched_ok 0 300 mother inserted "$form"
  done
}

@test "FileLen takes the leading bytes of the inserted file" {
  patched_ok 5 16 mother inserted 5 10
  cp original mother
  patched_ok 5 299 mother inserted 5 0x12B
  cp original mother
  patched_ok 5 300 mother inserted 5 12C
}

@test "FileLen 0 writes nothing" {
  run_mirabund mother inserted 10 0
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother original
}

@test "FileLen without digits writes the whole inserted file" {
  patched_ok 0 300 mother inserted 0 zz
}

@test "an empty inserted file writes nothing" {
  : > empty
  run_mirabund mother empty 20
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother original
}

@test "a range inside the file keeps its size and every byte outside" {
  patched_ok 700 300 mother inserted 2BC
  [ "$(size_of mother)" -eq 1000 ]
}

@test "a range reaching past the end grows the file to its end" {
  patched_ok 900 300 mother inserted 384
  [ "$(size_of mother)" -eq 1200 ]
}

@test "a range starting past the end leaves zeros in the gap" {
  patched_ok 5000 300 mother inserted 1388
  [ "$(size_of mother)" -eq 5300 ]
}

@test "arguments after FileLen are ignored" {
  patched_ok 1 2 mother inserted 1 2 extra more
}

@test "bad positions and lengths are refused before anything is written" {
  refused "Bad from_pos 8000000000000000" mother inserted 8000000000000000
  refused "Bad from_pos 10000000000000000" mother inserted 10000000000000000
  refused "Bad from_pos -1" mother inserted -1
  refused "Bad from_pos  -0x10" mother inserted " -0x10"
  refused "Bad FileLen -5" mother inserted 0 -5
  refused "Bad FileLen 1FFFFFFFFFFFFFFFF" mother inserted 0 1FFFFFFFFFFFFFFFF
  refused "Bad from_pos 7FFFFFFFFFFFFFFF" mother inserted 7FFFFFFFFFFFFFFF
  refused "Bad from_pos 7FFFFFFFFFFFFF00" mother inserted 7FFFFFFFFFFFFF00 101
}

@test "a bad from_pos is named before a bad FileLen" {
  refused "Bad from_pos -1" mother inserted -1 -1
}

@test "the largest range that fits is accepted" {
  patched_ok 0 0 mother inserted 7FFFFFFFFFFFFFFF 0
  [ "$(size_of mother)" -eq 1000 ]
}

@test "a FileLen larger than the inserted file is refused" {
  refused "FileLen 12D exceeds size of file inserted" mother inserted 0 12D
  refused "FileLen 0x1000 exceeds size of file inserted" mother inserted 10 0x1000
}

@test "the open failures come before the checks of the numbers" {
  refused "Can't open file missing" mother missing -1
  fails_with "Can't open input file missing" missing inserted -1
}

@test "positions past 4 GiB on a sparse mother file" {
  truncate -s 5G big
  run_mirabund big inserted 100000000
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  [ "$(size_of big)" -eq $((5 * 1024 * 1024 * 1024)) ]
  cmp <(tail -c +$((0x100000000 + 1)) big | head -c 300) inserted
  cmp <(tail -c +$((0x100000000 - 99)) big | head -c 100) <(head -c 100 /dev/zero)
  cmp <(tail -c +$((0x100000000 + 301)) big | head -c 100) <(head -c 100 /dev/zero)

  run_mirabund big inserted 140000100 10
  [ "$status" -eq 0 ]
  [ "$(size_of big)" -eq $((0x140000100 + 0x10)) ]
  cmp <(tail -c 16 big) <(head -c 16 inserted)
}

@test "an inserted file larger than 4 GiB is measured whole" {
  truncate -s $((0x140000010)) huge
  fails_with "FileLen 140000011 exceeds size of file huge" /dev/null huge 0 140000011
  run_mirabund /dev/null huge 0 140000010
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
}

@test "a file copied onto itself gets its bytes as they were, at any overlap" {
  # Three passes and a byte: every kind of overlap crosses a pass boundary.
  make_file self 196606 9
  cp self snapshot
  # Start and length in decimal; no length means the whole file.
  for case in "0" "256" "65536" "131071" "196606" "196607" "262144" \
              "256 131072" "65535 196606" "1 196605"; do
    cp snapshot self
    read -r pos len <<< "$case"
    local args=(self self "$(printf '%X' "$pos")")
    [ -n "$len" ] && args+=("$(printf '%X' "$len")")
    expect_patched expected snapshot snapshot "$pos" "${len:-196606}"
    run_mirabund "${args[@]}"
    [ "$status" -eq 0 ]
    [ "$output" = "" ]
    cmp self expected || { echo "case $case" >&2; return 1; }
  done
}

@test "the same file is recognised through a hard link and a symbolic link" {
  make_file self 200000 10
  cp self snapshot
  ln self hard
  ln -s self soft
  expect_patched expected snapshot snapshot $((0x1234)) 200000
  run_mirabund hard self 1234
  [ "$status" -eq 0 ]
  cmp self expected
  cp snapshot self
  run_mirabund self soft 1234
  [ "$status" -eq 0 ]
  cmp self expected
}

@test "a mother file the user may not write cannot be opened" {
  [ "$(id -u)" -eq 0 ] || skip "needs root to run the command as another user"
  command -v setpriv >/dev/null || skip "setpriv is not installed"
  chmod 644 mother
  chmod 755 .
  chmod o+r inserted
  run --separate-stderr setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$MIRABUND" mother inserted 0
  [ "$status" -eq 255 ]
  [ "$output" = "Can't open input file mother" ]
  cmp mother original
  # The same user can reach and read the folder: only the mode refused it.
  run --separate-stderr setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$MIRABUND" /dev/null inserted 0
  [ "$status" -eq 0 ]
}
