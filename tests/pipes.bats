#!/usr/bin/env bats
# Input that cannot be measured by seeking is streamed: pipes, process
# substitution, character devices.

bats_require_minimum_version 1.5.0
load helpers

setup() {
  cd "$BATS_TEST_TMPDIR"
  make_file mother 1000 11
  cp mother original
  make_file stream 200000 12  # longer than three passes
}

# from_pipe ARGS...: runs the command with the contents of "stream" piped
# to its standard input.
from_pipe() {
  run --separate-stderr bash -c 'cat stream | exec "$MIRABUND" "$@"' _ "$@"
}

@test "a whole stream longer than a pass is written" {
  expect_patched expected original stream 16 200000
  from_pipe mother /dev/stdin 10
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother expected
}

@test "a process substitution is read as a stream" {
  expect_patched expected original stream 256 200000
  run --separate-stderr bash -c 'exec "$MIRABUND" mother <(cat stream) 100'
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother expected
}

@test "FileLen takes the leading bytes of a stream" {
  expect_patched expected original stream 16 70000
  from_pipe mother /dev/stdin 10 11170
  [ "$status" -eq 0 ]
  cmp mother expected
}

@test "a stream shorter than FileLen is refused after the bytes it gave" {
  head -c 300 stream > short
  cp short stream
  # Inside the file: the bytes that came are in place.
  expect_patched expected original short 256 300
  from_pipe mother /dev/stdin 100 1000
  [ "$status" -eq 255 ]
  [ "$output" = "FileLen 1000 exceeds size of file /dev/stdin" ]
  [ "$stderr" = "" ]
  cmp mother expected

  # Reaching past the end: the growth is undone as well.
  cp original mother
  expect_patched expected original short 768 232
  from_pipe mother /dev/stdin 300 1000
  [ "$status" -eq 255 ]
  [ "$output" = "FileLen 1000 exceeds size of file /dev/stdin" ]
  cmp mother expected
  [ "$(size_of mother)" -eq 1000 ]
}

@test "an empty stream writes nothing, and is shorter than any FileLen" {
  : > stream
  from_pipe mother /dev/stdin 10
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother original
  from_pipe mother /dev/stdin 10 1
  [ "$status" -eq 255 ]
  [ "$output" = "FileLen 1 exceeds size of file /dev/stdin" ]
  cmp mother original
}

@test "a character device is streamed for FileLen bytes" {
  head -c 32 /dev/zero > zeros
  expect_patched expected original zeros 16 32
  run_mirabund mother /dev/zero 10 20
  [ "$status" -eq 0 ]
  [ "$output" = "" ]
  cmp mother expected
}

@test "standard input redirected from a file keeps the rules of a file" {
  run --separate-stderr bash -c 'exec "$MIRABUND" mother /dev/stdin 0 30D41 < stream'
  [ "$status" -eq 255 ]
  [ "$output" = "FileLen 30D41 exceeds size of file /dev/stdin" ]
  cmp mother original
}
