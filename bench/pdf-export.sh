#!/usr/bin/env bash
# Exports a history entry with 10,000 file rows (and, for comparison, 1,000) as a PDF report: seconds, page count,
# file size and peak memory. The peak must stay about the same for both: pages are encoded and written one at a
# time, so only one page picture and one JPEG are held.
# Usage: bench/pdf-export.sh [rows, default 10000]
set -euo pipefail
cd "$(dirname "$0")/.."
ROWS=${1:-10000}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_BENCH=ON -DVELKOR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target pdf_export_bench >/dev/null
for rows in $((ROWS / 10)) "$ROWS"; do
  build-bench/bench/pdf_export_bench "$rows"
  echo
done
