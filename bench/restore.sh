#!/usr/bin/env bash
# Restore of a benchmark tree from its ZIP archive (written by the backup engine) beside `unzip -q` on the same
# archive. The restore unpacks into a staging folder in $TMPDIR first, so it is allowed up to 1.5 x unzip's time.
# Usage: bench/restore.sh [size in MiB, default 1024] [repeats, default 3; the best run of each counts]
# The tree is half incompressible files of 1-8 MiB and half text-like files of 4-256 KiB in nested folders. Scratch
# files go to a fresh folder under $TMPDIR (else /tmp), which also holds the staging folder, and are removed at the
# end. Set STAGING_TMPDIR to stage on another volume instead (the staged files are then copied, not moved).
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MIB=${1:-1024}
REPEATS=${2:-3}

# Release build of the libraries only; the driver links them directly.
BUILD=build-bench-restore
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_restore -j2 >/dev/null
DRIVER="$BUILD/restore_zip"
LIBS=""
for lib in restore engine crypto config scheduling platform util; do LIBS="$LIBS $BUILD/src/$lib/libvelkor_$lib.a"; done
# shellcheck disable=SC2086
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/restore/restore_zip.cpp $LIBS -lz -lcrypto -pthread -o "$DRIVER"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-restore-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/tmp" "$WORK/dest"
STAGING=${STAGING_TMPDIR:-$WORK/tmp}

/usr/bin/python3 - "$WORK/src" "$SIZE_MIB" <<'PY'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2]) * 1024 * 1024
rng = random.Random(42)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(5000)]
text = b" ".join(rng.choice(words) + (b"\n" if rng.random() < 0.1 else b"") for _ in range(400000))
def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
written, n = 0, 0
while written < total // 2:
    size = min(rng.randint(1, 8) * 1024 * 1024 + rng.randint(0, 4095), total // 2 - written)
    put(f"{root}/Photos/{n // 50:03d}/img{n:05d}.jpg", os.urandom(size))
    written, n = written + size, n + 1
while written < total:
    size = min(rng.randint(4, 256) * 1024, total - written)
    start = rng.randint(0, len(text) - size)
    put(f"{root}/Docs/{n % 7}/{n % 31:02d}/doc{n:06d}.txt", text[start:start + size])
    written, n = written + size, n + 1
PY

ZIP=$("$DRIVER" backup "$WORK/dest" "$WORK/src/Docs" "$WORK/src/Photos")
FILES=$(find "$WORK/src" -type f | wc -l)
BYTES=$(du -sb "$WORK/src" | cut -f1)
ZIP_BYTES=$(stat -c %s "$ZIP")

best_unzip=""
best_restore=""
for run in $(seq "$REPEATS"); do
  rm -rf "$WORK/unzip" "$WORK/restore"
  sync
  start=$(date +%s.%N)
  unzip -q "$ZIP" -d "$WORK/unzip"
  end=$(date +%s.%N)
  t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  best_unzip=$(awk -v t="$t" -v b="$best_unzip" 'BEGIN { print (b == "" || t < b) ? t : b }')

  sync
  start=$(date +%s.%N)
  read -r _ restored skipped < <(TMPDIR="$STAGING" "$DRIVER" restore "$ZIP" "$WORK/restore")
  end=$(date +%s.%N)
  t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  best_restore=$(awk -v t="$t" -v b="$best_restore" 'BEGIN { print (b == "" || t < b) ? t : b }')
  [ "$restored" = "$FILES" ] && [ "$skipped" = 0 ] || { echo "restored $restored/$FILES, skipped $skipped" >&2; exit 1; }
  if [ "$run" = 1 ]; then
    diff -r "$WORK/src" "$WORK/restore" >/dev/null || { echo "restored tree differs from the source" >&2; exit 1; }
    diff -r "$WORK/unzip" "$WORK/restore" >/dev/null || { echo "restored tree differs from unzip's" >&2; exit 1; }
  fi
  [ -z "$(ls -A "$STAGING" 2>/dev/null)" ] || { echo "staging left behind in $STAGING" >&2; exit 1; }
done

awk -v bytes="$BYTES" -v zip="$ZIP_BYTES" -v files="$FILES" -v u="$best_unzip" -v r="$best_restore" 'BEGIN {
  mib = bytes / 1048576
  printf "tree: %d files, %.0f MiB; archive %.0f MiB\n", files, mib, zip / 1048576
  printf "best of runs: unzip -q %.3f s (%.0f MiB/s), RestoreBackupOutput %.3f s (%.0f MiB/s)\n", u, mib / u, r, mib / r
  printf "time ratio restore / unzip: %.2f (target <= 1.50)\n", r / u
}'
