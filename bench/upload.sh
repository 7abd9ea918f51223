#!/usr/bin/env bash
# Upload of one archive-sized file to the local S3 server (the integration tests' @20minutes/s3rver) with the S3
# client, beside `curl -T` of the same file to the same server in the same run. The client reads the file twice
# (payload hash, then body), so it is allowed down to 0.8 of curl's rate; its peak memory must stay under 64 MiB.
# Both run against the same single-process server, so a busy machine slows them alike except for the hash pass,
# which needs a core of its own: run it on an otherwise idle machine.
# Usage: bench/upload.sh [size in MiB, default 1024] [repeats, default 3; the best run of each counts]
# Needs scripts/install-deps (node and the server). Scratch files and the server's store go to a fresh folder under
# $TMPDIR (else /tmp) and are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MIB=${1:-1024}
REPEATS=${2:-3}

# Release build of the libraries only; the driver links them directly.
BUILD=build-bench-upload
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_cloud -j2 >/dev/null
DRIVER="$BUILD/upload_file"
LIBS=""
for lib in cloud engine crypto config platform util; do LIBS="$LIBS $BUILD/src/$lib/libvelkor_$lib.a"; done
# shellcheck disable=SC2086
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/upload/upload_file.cpp $LIBS -lz -lcurl -lcrypto -pthread -o "$DRIVER"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-upload-bench.XXXXXX")
SERVER_PID=""
cleanup() {
  [ -z "$SERVER_PID" ] || kill "$SERVER_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -p "$WORK/store"

# The server prints its port once it listens and ends when its standard input (the fifo) closes.
mkfifo "$WORK/server-in"
node tests/integration/s3-peer/serve.js "$WORK/store" bench <"$WORK/server-in" >"$WORK/port" &
SERVER_PID=$!
exec 3>"$WORK/server-in"
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(head -n1 "$WORK/port")
[ -n "$PORT" ] || { echo "the S3 server did not start (run scripts/install-deps)" >&2; exit 1; }
ENDPOINT="http://127.0.0.1:$PORT"

SOURCE="$WORK/Bench_2024-05-01_10-00-00.zip"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$SOURCE"
BYTES=$(stat -c %s "$SOURCE")
STORED="$WORK/store/bench"

best_curl=""
best_client=""
best_hash=""
peak_kib=0
for run in $(seq "$REPEATS"); do
  sync
  t=$(curl -sS -o /dev/null -w '%{time_total}' -T "$SOURCE" "$ENDPOINT/bench/curl/run$run.zip")
  best_curl=$(awk -v t="$t" -v b="$best_curl" 'BEGIN { print (b == "" || t < b) ? t : b }')
  rm -rf "${STORED:?}/curl"

  sync
  read -r t h kib remote < <("$DRIVER" "$ENDPOINT" bench "velkor/run$run" "$SOURCE")
  if awk -v t="$t" -v b="$best_client" 'BEGIN { exit !(b == "" || t < b) }'; then best_client=$t; best_hash=$h; fi
  [ "$kib" -gt "$peak_kib" ] && peak_kib=$kib
  [ "$remote" = "s3://bench/velkor/run$run/$(basename "$SOURCE")" ] || { echo "reported $remote" >&2; exit 1; }
  object="$STORED/velkor/run$run/$(basename "$SOURCE")._S3rver_object"
  if [ "$run" = 1 ]; then cmp -s "$SOURCE" "$object" || { echo "the stored object differs from the file" >&2; exit 1; }; fi
  rm -rf "${STORED:?}/velkor"
done

awk -v bytes="$BYTES" -v c="$best_curl" -v v="$best_client" -v h="$best_hash" -v kib="$peak_kib" 'BEGIN {
  mib = bytes / 1048576
  printf "file: %.0f MiB, incompressible; best of runs against the same local S3 server:\n", mib
  printf "  curl -T         %.3f s (%.0f MiB/s)\n", c, mib / c
  printf "  S3 client       %.3f s (%.0f MiB/s), of which the payload hash pass %.3f s (sending alone %.0f MiB/s)\n", \
    v, mib / v, h, mib / (v - h)
  printf "rate ratio client / curl: %.2f (target >= 0.80)\n", c / v
  printf "client peak memory: %.1f MiB (target < 64 MiB)\n", kib / 1024
}'
