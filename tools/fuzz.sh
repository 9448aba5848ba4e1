#!/usr/bin/env bash
# Builds one libFuzzer target with clang in build-fuzz/ and runs it for a
# bounded time:  tools/fuzz.sh TARGET SECONDS [extra libFuzzer flags]
#   TARGET is the file name in tests/fuzz without .cpp (xml_reader -> fuzz_xml_reader).
# Seeds come from tests/fuzz/corpus/TARGET and a dictionary from
# tests/fuzz/TARGET.dict when they exist; the growing corpus lives in
# build-fuzz/corpus/TARGET and crashes land in build-fuzz/crashes/TARGET.
# QVTF_FUZZ_BUILD names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: tools/fuzz.sh TARGET SECONDS [libFuzzer flags]" >&2
  exit 2
fi
target="$1"; seconds="$2"; shift 2
dir="${QVTF_FUZZ_BUILD:-build-fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$dir" -DQVTF_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j2 --target "fuzz_$target"
corpus="$dir/corpus/$target"
crashes="$dir/crashes/$target"
mkdir -p "$corpus" "$crashes"
seeds=(); dict=()
[ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")
[ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
exec "$dir/bin/fuzz_$target" -max_total_time="$seconds" -artifact_prefix="$crashes/" \
  -print_final_stats=1 "${dict[@]}" "$@" "$corpus" "${seeds[@]}"
