#!/bin/sh
# Instructions per steady poll under callgrind (the load of the machine does not matter), the
# driver against the hand-written poller, and heap allocations per poll.
#   bench/callgrind.sh [BUILD_DIR] [POLLS]      (BUILD_DIR configured with -DQVSM_BENCH=ON)
set -e
B=${1:-build-bench}
N=${2:-200}
P="$B/qvsm_pollcount"
[ -x "$P" ] || { echo "no $P: ninja -C $B qvsm_pollcount" >&2; exit 1; }

# kind points db tcp -> "instructions-per-poll allocs-per-poll"
count() {
    out=$(valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=/dev/null "$P" "$@" "$N" 2>&1) || {
        echo "$out" >&2
        exit 1
    }
    ir=$(echo "$out" | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p')
    al=$(echo "$out" | sed -n 's/^allocs\/poll //p')
    echo "$((ir / N)) $al"
}

# what qvsm-args hand-args
row() {
    what=$1
    shift
    q=$(count qvsm $1 $2 $3)
    h=$(count hand $4 $5 $6)
    set -- $q $h
    printf '%-46s %10s %10s %7s %11s\n' "$what" "$1" "$3" "$(echo "$1 $3" | awk '{printf "%.2fx", $1 / $2}')" "$2"
}

printf '%-46s %10s %10s %7s %11s\n' "instructions per poll" "qvsm" "hand" "ratio" "allocs/poll"
row "100 points, no database, RTU" 100 0 0 100 0 0
row "100 points, no database, Modbus TCP" 100 0 1 100 0 1
row "100 points, SQLite, vs the same texts" 100 1 0 100 2 0
row "100 points, SQLite, vs prepared statements" 100 1 0 100 1 0
QVSM_BENCH_TEXTS=1 row "  texts through sqlite3_exec, vs the same" 100 1 0 100 2 0
row "10 points, no database, Modbus TCP" 10 0 1 10 0 1
row "1000 points, no database, Modbus TCP" 1000 0 1 1000 0 1
