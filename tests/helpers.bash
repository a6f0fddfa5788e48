# Shared by the end-to-end suites.  $MIRABUND is the command under test;
# every file a test makes lives in its own $BATS_TEST_TMPDIR.

: "${MIRABUND:?set MIRABUND to the mirabund binary under test}"

# make_file PATH SIZE SEED: SIZE reproducible pseudo-random bytes.
make_file() {
  perl -e 'srand($ARGV[1]); my $n = $ARGV[0];
           while ($n > 0) { my $k = $n < 65536 ? $n : 65536;
                            print pack("C*", map { int rand 256 } 1 .. $k);
                            $n -= $k; }' "$2" "$3" > "$1"
}

# size_of PATH: the file's size in bytes.
size_of() { stat -c %s "$1"; }

# expect_patched OUT MOTHER INSERTED POS LEN: builds in OUT what MOTHER must
# hold after LEN bytes of INSERTED were written at POS (decimal), from the
# pieces alone: the head, zeros for any gap, the bytes, the tail.
expect_patched() {
  local out=$1 mother=$2 inserted=$3 pos=$4 len=$5
  local size
  size=$(size_of "$mother")
  {
    head -c "$pos" "$mother"
    if (( pos > size )); then head -c $((pos - size)) /dev/zero; fi
    head -c "$len" "$inserted"
    if (( pos + len < size )); then tail -c +$((pos + len + 1)) "$mother"; fi
  } > "$out"
}

# run_mirabund ARGS...: runs the command, keeping output and status apart
# from any error-stream text (the command must write none).
run_mirabund() {
  run --separate-stderr "$MIRABUND" "$@"
}

# fails_with LINE ARGS...: runs the command, which must print exactly LINE
# on standard output and nothing on standard error, and end with -1.
fails_with() {
  local line=$1
  shift
  run_mirabund "$@"
  [ "$status" -eq 255 ]
  [ "$output" = "$line" ]
  [ "$stderr" = "" ]
}
