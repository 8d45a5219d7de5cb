#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted as .clang-format says; lists those files.
#   check_format.sh ROOT
set -uo pipefail
root=${1:?usage: check_format.sh ROOT}
cd "$root" || exit 2
command -v clang-format >/dev/null || { echo "clang-format is not installed"; exit 2; }
mapfile -t files < <(find engine directory sync ui dial app tools bench tests \
  -name '*.cpp' -o -name '*.h' | sort)
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted (clang-format -i FILE):\n'; printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files formatted"
