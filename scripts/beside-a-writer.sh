#!/bin/bash
# Runs check, import, reindex and export of abonex-db RUNS times each beside another process that
# keeps importing random names into the same persons table, and counts every run that reported
# damage that is not there or left rows out. Not part of the suite (it runs for minutes); the
# suite's tool_concurrency_test holds the bounded version.
#
#   [BATCH=rows] scripts/beside-a-writer.sh [RUNS] [BUILD_DIR]   (defaults: 200, build, 20000)
#
# Each check must exit 0; each import and reindex must exit 0; each export must list every one
# of the table's first rows (nobody deletes or renames them) exactly once. At the end the table
# must check clean and hold every row imported. Exit status: 0 when every run passed.
set -u
runs=${1:-200}
build=${2:-build}
tool=$(realpath "$build/tools/abonex-db")
work=$(mktemp -d)
trap 'touch "$work/stop"; wait; rm -rf "$work"' EXIT
base=20000
batch=${BATCH:-20000}

cd "$work" || exit 2
"$tool" create dir >/dev/null || exit 2
names() {  # PREFIX COUNT SEED: a CSV of COUNT rows named PREFIX-n, in a random order
    python3 - "$@" <<'EOF'
import random, sys
prefix, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
order = list(range(count))
random.Random(seed).shuffle(order)
print("NAME,PHONE1,PHONE2,COMMENT")
for n in order:
    print(f"{prefix}-{n:06d},{n},,{prefix}")
EOF
}
names Base "$base" 1 >base.csv
"$tool" import dir/Phone.DBF base.csv >/dev/null || exit 2

# The writer: batches of random names until the runs are over (it finishes the batch under way).
(
    i=0
    while [ ! -e stop ]; do
        i=$((i + 1))
        names "W$i" "$batch" "$((i + 100))" >"w$i.csv"
        "$tool" import dir/Phone.DBF "w$i.csv" >/dev/null 2>"writer$i.err" ||
            echo "writer batch $i: exit $?: $(head -1 "writer$i.err")" >>writer.failed
        echo "$i" >writer.batches
    done
) &
writer=$!

loop() {  # NAME COMMAND...: runs the command RUNS times, notes each run that fails
    local name=$1
    shift
    local n
    for ((n = 1; n <= runs; n++)); do
        "$@" "$n" >"$name.out" 2>"$name.err"
        local status=$?
        echo "$n" >"$name.runs"
        if [ $status != 0 ]; then
            {
                echo "$name run $n: exit $status"
                head -3 "$name.err"
            } >>"$name.failed"
        fi
    done
}
checkRun() { "$tool" check dir/Phone.DBF; }
importRun() {
    printf 'NAME,PHONE1,PHONE2,COMMENT\nSmall-%04d,1,,small\n' "$1" >"small$1.csv"
    "$tool" import dir/Phone.DBF "small$1.csv"
}
reindexRun() { "$tool" reindex dir/Phone.DBF; }
exportRun() {
    "$tool" export dir/Phone.DBF >export.csv || return
    local listed
    listed=$(grep -c '^Base-' export.csv)
    [ "$(grep '^Base-' export.csv | cut -d, -f1 | sort -u | wc -l)" = "$base" ] &&
        [ "$listed" = "$base" ] || {
        echo "export listed $listed rows of the $base first ones" >&2
        return 1
    }
}
loop check checkRun &
checks=$!
loop import importRun &
imports=$!
loop reindex reindexRun &
reindexes=$!
loop export exportRun &
exports=$!
wait $checks $imports $reindexes $exports
touch stop
wait $writer

failed=0
for name in check import reindex export writer; do
    if [ -s "$name.failed" ]; then
        echo "$name: $(grep -c 'exit' "$name.failed") failed"
        head -20 "$name.failed"
        failed=1
    fi
done
"$tool" check dir/Phone.DBF >final.out || {
    echo "final check found problems"
    head final.out
    failed=1
}
rows=$("$tool" export dir/Phone.DBF | tail -n +2 | wc -l)
echo "$runs runs each of check, import, reindex and export beside a writer" \
    "($(cat writer.batches) batches of $batch rows); table holds $rows rows at the end"
smalls=$("$tool" export dir/Phone.DBF | grep -c '^Small-')
[ "$smalls" = "$runs" ] || {
    echo "the table holds $smalls of the $runs rows the small imports added"
    failed=1
}
exit $failed
