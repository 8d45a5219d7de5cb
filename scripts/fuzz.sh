#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/ and runs them on the seed corpora kept in tests/fuzz/corpus.
#
#   bash scripts/fuzz.sh [TARGET|all] [SECONDS]
#
# TARGET is expr_compile_fuzz, table_fuzz, index_fuzz, csv_fuzz, memo_fuzz, vcard_fuzz or all
# (the default); SECONDS is the time per target (default 60). New inputs go to build-fuzz/corpus/TARGET, so the kept seeds
# are never rewritten; a crash leaves its input in build-fuzz/findings/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."

TARGETS=(expr_compile_fuzz table_fuzz index_fuzz csv_fuzz memo_fuzz vcard_fuzz)
which=${1:-all}
seconds=${2:-60}
if [ "$which" != all ]; then
  case " ${TARGETS[*]} " in
    *" $which "*) TARGETS=("$which") ;;
    *) echo "unknown fuzz target: $which (one of ${TARGETS[*]} or all)" >&2; exit 2 ;;
  esac
fi

CC=clang CXX=clang++ BUILD_DIR=build-fuzz EXTRA_PACKAGES="clang libclang-rt-dev" \
  BUILD_TARGETS="${TARGETS[*]}" \
  bash scripts/setup.sh -DABONEX_FUZZ=ON -DABONEX_GUI=OFF -DABONEX_BENCH=OFF

for target in "${TARGETS[@]}"; do
  seeds=tests/fuzz/corpus/$target
  options=()
  if [ "$target" = expr_compile_fuzz ]; then
    seeds=tests/fuzz/corpus/expr
    options+=(-dict=tests/fuzz/expr.dict)
  fi
  work=build-fuzz/corpus/$target
  findings=build-fuzz/findings/$target
  mkdir -p "$work" "$findings"
  echo "== $target: $seconds s"
  build-fuzz/tests/fuzz/"$target" "$work" "$seeds" "${options[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/"
done
