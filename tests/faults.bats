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
    run_mirabund /dev/full inserted 0 "$len"
    [ "$status" -eq 255 ]
    [ "$output" = "Can't write file /dev/full: No space left on device" ]
    [ "$stderr" = "" ]
  done
}

@test "the file size limit is reported as a write failure, not a signal" {
  make_file mother 1000 4
  run --separate-stderr bash -c 'ulimit -f 64 && exec "$MIRABUND" mother inserted 100'
  [ "$status" -eq 255 ]
  [ "$output" = "Can't write file mother: File too large" ]
  [ "$stderr" = "" ]
}
