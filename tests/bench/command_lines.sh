#!/bin/bash
# Each benchmark given as an argument prints its usage with --help (status 0) and refuses a
# wrong word with the reason and its usage line on standard error (status 2), before it
# measures or writes anything.
set -u
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
missing="$scratch/no-such-folder"

# expect STATUS STREAM TEXT BENCH WORD...: BENCH WORD... ends with STATUS and STREAM (out or err)
# holds TEXT.
expect() {
    local status=$1 stream=$2 text=$3 bench=$4
    shift 4
    (cd "$scratch" && timeout -k 2 30 "$bench" "$@" >"$scratch/out" 2>"$scratch/err")
    local got=$?
    if [ "$got" != "$status" ] || ! grep -qF -- "$text" "$scratch/$stream"; then
        echo "FAIL: $(basename "$bench") $*: status $got (wanted $status), $stream lacks: $text"
        sed 's/^/    /' "$scratch/out" "$scratch/err"
        failures=$((failures + 1))
    fi
    if [ "$status" = 2 ] && [ -s "$scratch/out" ]; then
        echo "FAIL: $(basename "$bench") $*: refused, yet wrote to standard output"
        failures=$((failures + 1))
    fi
}

for bench in "$@"; do
    bench=$(realpath "$bench")
    name=$(basename "$bench")
    expect 0 out "usage: $name " "$bench" --help
    expect 0 out "usage: $name " "$bench" -h
    expect 2 err "unknown option \"--no-such-option\"" "$bench" --no-such-option
    expect 2 err "usage: $name " "$bench" --no-such-option
    case "$name" in
        search_floor_bench)
            expect 2 err "no folder \"$missing\"" "$bench" "$missing"
            expect 2 err "RUNS needs a count" "$bench" "$scratch" many
            ;;
        share_import_bench)
            expect 2 err "no folder \"$missing\"" "$bench" 10 "$missing"
            expect 2 err "ROWS needs a count" "$bench" many "$scratch"
            expect 2 err "usage: $name " "$bench" 10
            ;;
        index_build_bench)
            expect 2 err "no folder \"$missing\"" "$bench" 10 "$missing"
            expect 2 err "RECORDS needs a count" "$bench" many
            ;;
        startup_bench)
            expect 2 err "RECORDS needs a count" "$bench" "$missing" many
            ;;
        dial_latency_bench)
            expect 2 err "ROUNDS needs a count" "$bench" many
            ;;
        *)
            expect 2 err "RECORDS needs a count" "$bench" many
            expect 2 err "one word too many" "$bench" 10 "$missing" more
            ;;
    esac
done
[ -e "$missing" ] && { echo "FAIL: a refused run made $missing"; failures=$((failures + 1)); }
[ "$failures" = 0 ] && echo "every benchmark's command line checked: $#"
exit $((failures > 0))
