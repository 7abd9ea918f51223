#!/usr/bin/env bash
# Times LoadHistory and one AddHistoryItem on a history of 1,000 entries with 1,000 file entries each.
# Usage: bench/history.sh [entries] [files-per-entry]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_BENCH=ON -DVELKOR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target history_bench >/dev/null
if command -v /usr/bin/time >/dev/null; then
  /usr/bin/time -f "peak resident memory: %M KiB" build-bench/bench/history_bench "$@"
else
  build-bench/bench/history_bench "$@"
fi
