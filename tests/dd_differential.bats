#!/usr/bin/env bats
# GNU dd, told not to truncate and to count in bytes, is the oracle: on
# seeded random cases both must leave byte-identical files.

bats_require_minimum_version 1.5.0
load helpers

CASES=${DD_CASES:-300}
SEED=${DD_SEED:-2026}

# Sizes at and around the pass boundaries come up often; others are drawn
# from the whole range.
BOUNDARY_SIZES=(0 1 2 65534 65535 65536 65537 131069 131070 131071 196605
                196606 196607)

pick_size() {
  if (( RANDOM % 2 )); then
    echo "${BOUNDARY_SIZES[RANDOM % ${#BOUNDARY_SIZES[@]}]}"
  else
    echo $(( (RANDOM * 32768 + RANDOM) % 250000 ))
  fi
}

setup_file() {
  make_file "$BATS_FILE_TMPDIR/pool" 600000 "$SEED"
}

@test "mirabund and dd conv=notrunc leave identical files" {
  cd "$BATS_TEST_TMPDIR"
  local pool=$BATS_FILE_TMPDIR/pool
  RANDOM=$SEED
  local n
  for (( n = 0; n < CASES; n++ )); do
    local msize isize pos len=
    msize=$(pick_size)
    isize=$(pick_size)
    tail -c +$((RANDOM + 1)) "$pool" | head -c "$msize" > mine
    tail -c +$((RANDOM * 2 + 1)) "$pool" | head -c "$isize" > inserted
    cp mine theirs
    case $((RANDOM % 3)) in
      0) pos=$(( (RANDOM * 32768 + RANDOM) % (msize + 1) )) ;;  # inside
      1) pos=$(( msize + RANDOM * 4 )) ;;                        # past the end
      2) pos=$(( msize > 1 ? msize - 1 - RANDOM % msize : 0 )) ;; # near the end
    esac
    (( RANDOM % 2 )) && len=$(( (RANDOM * 32768 + RANDOM) % (isize + 1) ))

    local args=(mine inserted "$(printf '%X' "$pos")")
    local dd_args=(if=inserted of=theirs bs=64K conv=notrunc status=none
                   oflag=seek_bytes seek="$pos")
    if [ -n "$len" ]; then
      args+=("$(printf '0x%x' "$len")")
      dd_args+=(iflag=count_bytes count="$len")
    fi

    run_mirabund "${args[@]}"
    dd "${dd_args[@]}"
    if [ "$status" -ne 0 ] || [ -n "$output" ] || ! cmp -s mine theirs; then
      echo "case $n (seed $SEED): mother $msize, inserted $isize," \
           "args ${args[*]}: status $status, output '$output'" >&2
      cmp mine theirs >&2 || true
      return 1
    fi
  done
}
