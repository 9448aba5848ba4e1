#!/usr/bin/env bash
# Configures and builds one build folder: build/ (default), build-asan/ or build-tsan/.
#   tools/build.sh [asan|tsan|""] [TARGET...]   without targets, everything
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-}"
[ $# -gt 0 ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
dir=build; extra=()
case "$mode" in
  asan) dir=build-asan; extra=(-DQVTF_SANITIZE=asan -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan) dir=build-tsan; extra=(-DQVTF_SANITIZE=tsan -DCMAKE_BUILD_TYPE=Debug) ;;
  "") ;;
  *) echo "unknown build mode: $mode" >&2; exit 2 ;;
esac
# QVTF_WERROR=ON in the environment makes warnings fail the build; the choice stays in the folder's cache.
[ -n "${QVTF_WERROR:-}" ] && extra+=(-DQVTF_WERROR="$QVTF_WERROR")
# ccache, when present, lets several checkouts share compiled objects.
if command -v ccache >/dev/null; then
  extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$(cd .. && pwd)" CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$dir" "${extra[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
echo "$dir"
