#!/usr/bin/env bash
# Throughput and peak memory of .mbe encryption and decryption on one large file, beside the OpenSSL command-line
# pipeline doing the same work (AES-256-CBC, then HMAC-SHA256 over the ciphertext) on the same file.
# Usage: bench/crypto-throughput.sh [size in MiB, default 1024] [repeats, default 2; the best run counts]
# Scratch files go to a fresh folder under $TMPDIR (else /tmp) and are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MIB=${1:-1024}
REPEATS=${2:-2}

if ! [ -x /usr/bin/time ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq time >/dev/null
fi

# Release build of the crypto library only; the driver links it directly.
BUILD=build-bench-crypto
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_crypto -j2 >/dev/null
DRIVER="$BUILD/crypto_throughput"
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/crypto/crypto_throughput.cpp "$BUILD/src/crypto/libvelkor_crypto.a" \
  "$BUILD/src/platform/libvelkor_platform.a" "$BUILD/src/util/libvelkor_util.a" -lcrypto -pthread -o "$DRIVER"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-crypto-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
PLAIN="$WORK/plain.bin"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$PLAIN"
BYTES=$(stat -c %s "$PLAIN")
KEY=$(openssl rand -hex 32)
IV=$(openssl rand -hex 16)
MACKEY=$(openssl rand -hex 32)

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
# Runs a command under /usr/bin/time -v; prints "seconds peak-RSS-KiB".
measure() {
  local start end
  start=$(now)
  /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null
  end=$(now)
  echo "$(calc "$end - $start") $(awk -F': ' '/Maximum resident set size/ {print $2}' "$WORK/time.txt")"
}
# Best of REPEATS runs: "seconds peak-RSS-KiB".
best() {
  local best_t="" best_m="" t m
  for _ in $(seq "$REPEATS"); do
    read -r t m < <(measure "$@")
    if [ -z "$best_t" ] || [ "$(calc "$t < $best_t")" != "0.000000" ]; then best_t=$t; best_m=$m; fi
  done
  echo "$best_t $best_m"
}
mibs() { calc "$BYTES / 1048576 / $1"; }

read -r ENC_T ENC_M < <(best "$DRIVER" encrypt "$PLAIN" "$WORK/plain.bin.mbe")
read -r DEC_T DEC_M < <(best "$DRIVER" decrypt "$WORK/plain.bin.mbe" "$WORK/back.bin")
cmp -s "$PLAIN" "$WORK/back.bin" || { echo "decrypted file differs from the original" >&2; exit 1; }

read -r SSL_ENC_T _ < <(best openssl enc -aes-256-cbc -K "$KEY" -iv "$IV" -in "$PLAIN" -out "$WORK/ssl.enc")
read -r SSL_MAC_T _ < <(best openssl dgst -sha256 -hmac "$MACKEY" "$WORK/ssl.enc")
read -r SSL_DEC_T _ < <(best openssl enc -d -aes-256-cbc -K "$KEY" -iv "$IV" -in "$WORK/ssl.enc" -out "$WORK/ssl.dec")
REF_ENC=$(calc "$SSL_ENC_T + $SSL_MAC_T")
REF_DEC=$(calc "$SSL_MAC_T + $SSL_DEC_T")

printf 'file: %d MiB, best of %d runs, %s\n' "$SIZE_MIB" "$REPEATS" "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
printf 'openssl enc -aes-256-cbc:            %8.1f MiB/s\n' "$(mibs "$SSL_ENC_T")"
printf 'openssl dgst -sha256 -hmac:          %8.1f MiB/s\n' "$(mibs "$SSL_MAC_T")"
printf 'openssl enc -d -aes-256-cbc:         %8.1f MiB/s\n' "$(mibs "$SSL_DEC_T")"
printf 'openssl pipeline enc + hmac:         %8.1f MiB/s\n' "$(mibs "$REF_ENC")"
printf 'openssl pipeline hmac + enc -d:      %8.1f MiB/s\n' "$(mibs "$REF_DEC")"
printf 'EncryptFile:                         %8.1f MiB/s  ratio to enc+hmac %.2f (target >= 0.80)  peak RSS %d KiB\n' \
  "$(mibs "$ENC_T")" "$(calc "$REF_ENC / $ENC_T")" "$ENC_M"
printf 'DecryptFile (two passes):            %8.1f MiB/s  ratio to enc+hmac %.2f (target >= 0.45)  peak RSS %d KiB\n' \
  "$(mibs "$DEC_T")" "$(calc "$REF_ENC / $DEC_T")" "$DEC_M"
printf '                                                  ratio to hmac+enc -d %.2f\n' "$(calc "$REF_DEC / $DEC_T")"
