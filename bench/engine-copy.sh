#!/usr/bin/env bash
# Throughput of the engine's paced file copy (CopyFileThrottled, 1 MiB blocks) against cp on the same file, and
# how closely a speed limit holds.
# Usage: bench/engine-copy.sh [size in MiB, default 1024] [limit in MiB/s, default 20] [limit seconds, default 30]
#                             [repeats, default 3; the best run of each copier counts]
# Scratch files go to a fresh folder under $TMPDIR (else /tmp) and are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MIB=${1:-1024}
LIMIT_MIB=${2:-20}
LIMIT_SECONDS=${3:-30}
REPEATS=${4:-3}

# Release build of the engine library only; the driver links it directly.
BUILD=build-bench-engine
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_engine -j2 >/dev/null
DRIVER="$BUILD/engine_copy"
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/engine/engine_copy.cpp "$BUILD/src/engine/libvelkor_engine.a" \
  "$BUILD/src/platform/libvelkor_platform.a" "$BUILD/src/util/libvelkor_util.a" -pthread -o "$DRIVER"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-engine-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
SOURCE="$WORK/source.bin"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$SOURCE"
BYTES=$(stat -c %s "$SOURCE")
sync

best_cp=""
best_engine=""
for _ in $(seq "$REPEATS"); do
  rm -f "$WORK/cp.bin" "$WORK/engine.bin"
  sync
  start=$(date +%s.%N)
  cp "$SOURCE" "$WORK/cp.bin"
  end=$(date +%s.%N)
  t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  best_cp=$(awk -v t="$t" -v b="$best_cp" 'BEGIN { print (b == "" || t < b) ? t : b }')
  cmp -s "$SOURCE" "$WORK/cp.bin" || { echo "cp produced a different file" >&2; exit 1; }
  rm -f "$WORK/cp.bin"
  sync
  read -r t size < <("$DRIVER" copy "$SOURCE" "$WORK/engine.bin")
  [ "$size" = "$BYTES" ] || { echo "engine copied $size of $BYTES bytes" >&2; exit 1; }
  cmp -s "$SOURCE" "$WORK/engine.bin" || { echo "engine produced a different file" >&2; exit 1; }
  best_engine=$(awk -v t="$t" -v b="$best_engine" 'BEGIN { print (b == "" || t < b) ? t : b }')
done
rm -f "$WORK/engine.bin"

awk -v bytes="$BYTES" -v c="$best_cp" -v e="$best_engine" 'BEGIN {
  mib = bytes / 1048576
  printf "copy of %.0f MiB (best of runs): cp %.3f s (%.0f MiB/s), CopyFileThrottled %.3f s (%.0f MiB/s)\n", mib, c, mib / c, e, mib / e
  printf "throughput ratio CopyFileThrottled / cp: %.2f (target >= 0.90)\n", c / e
}'

# The limit: a file that should take exactly LIMIT_SECONDS at the limit.
LIMITED="$WORK/limited.bin"
head -c "$((LIMIT_MIB * LIMIT_SECONDS * 1024 * 1024))" "$SOURCE" >"$LIMITED"
sync
"$DRIVER" limit "$LIMITED" "$WORK/limited.copy" "$LIMIT_MIB" >"$WORK/limit.log"
awk -v limit="$LIMIT_MIB" -v want="$LIMIT_SECONDS" '
  $1 == "second" { n++; rate[n] = $3 / 1048576; next }
  { total = $1; bytes = $2 }
  END {
    min = 1e18; max = 0
    for (i = 1; i <= n; i++) if (i < n || n == 1) { if (rate[i] < min) min = rate[i]; if (rate[i] > max) max = rate[i] }
    avg = bytes / 1048576 / total
    printf "limit %d MiB/s: %.0f MiB in %.2f s (ideal %d s), average %.2f MiB/s (%+.1f%%)\n", limit, bytes / 1048576, total, want, avg, (avg / limit - 1) * 100
    printf "per-second rate over %d full seconds: min %.1f MiB/s, max %.1f MiB/s\n", (n > 1 ? n - 1 : n), min, max
  }' "$WORK/limit.log"
