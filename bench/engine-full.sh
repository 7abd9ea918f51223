#!/usr/bin/env bash
# Whole backup runs over a 1 GiB tree beside the tools that do the same work: a full compressed run against
# `zip -r -q`, a full folder run against `cp -r`, an encrypted compressed run, and an incremental run that finds
# nothing to do, with the peak resident memory of every engine run. An engine run ends only once its output is on
# the disk, so each tool is also timed followed by `sync -f` of the output's file system: the difference between
# the two lines of a tool is what putting that much output on the disk costs here.
# Targets: compressed <= 1.3 x zip, folder <= 1.3 x cp, no-change incremental over 20,000 files < 2 s, peak
# memory < 64 MiB.
# Usage: bench/engine-full.sh [rounds, default 2; the best run of each contender counts]
# The tree and every output go to a fresh folder under $TMPDIR (else /tmp), removed at the end. The page cache is
# warmed before timing, so every contender reads the tree from memory.
set -euo pipefail
cd "$(dirname "$0")/.."
REPEATS=${1:-2}

if ! [ -x /usr/bin/time ] || ! command -v zip >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq time zip unzip >/dev/null
fi

# Release build of the libraries the engine needs; the driver links them directly.
BUILD=build-bench-engine-full
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_engine -j2 >/dev/null
DRIVER="$BUILD/engine_full"
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/engine/engine_full.cpp "$BUILD/src/engine/libvelkor_engine.a" \
  "$BUILD/src/crypto/libvelkor_crypto.a" "$BUILD/src/config/libvelkor_config.a" \
  "$BUILD/src/platform/libvelkor_platform.a" "$BUILD/src/util/libvelkor_util.a" -larchive -lcrypto -pthread \
  -o "$DRIVER"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-engine-full.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
TREE="$WORK/src/Data"
mkdir -p "$TREE" "$WORK/out"
# The engine stages compressed runs in the temporary folder; keep that inside the scratch folder too.
export TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR"

echo "generating the tree under $WORK ..."
/usr/bin/python3 - "$TREE" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240501)
words = ["yedek", "dosya", "rapor", "klasör", "görev", "zaman", "boyut", "şifre", "arşiv", "kopya", "backup",
         "report", "folder", "value", "total", "index", "note", "line", "data", "time"]
words += ["w%04d" % i for i in range(2000)]
# 8 MiB of word-like text with numbers, compressible about as well as ordinary documents.
lines = []
size = 0
while size < 8 << 20:
    line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + " %d\n" % rng.randint(0, 10**6)
    lines.append(line)
    size += len(line.encode())
text = "".join(lines).encode()
# 20,000 small text files of 1 to 10 KiB in 200 folders.
for i in range(20000):
    folder = os.path.join(root, "docs", "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    start = rng.randrange(0, len(text) - 10240)
    with open(os.path.join(folder, "file%05d.txt" % i), "wb") as f:
        f.write(text[start:start + rng.randint(1024, 10240)])
# Four large compressible files of 112 MiB (the text again, each copy shifted so no two are alike).
os.makedirs(os.path.join(root, "large"), exist_ok=True)
for i in range(4):
    with open(os.path.join(root, "large", "log%d.txt" % i), "wb") as f:
        for k in range(14):
            shift = rng.randrange(0, len(text))
            f.write(text[shift:] + text[:shift])
# Three incompressible files of 150 MiB.
for i in range(3):
    with open(os.path.join(root, "large", "media%d.bin" % i), "wb") as f:
        for _ in range(150):
            f.write(os.urandom(1 << 20))
EOF
FILES=$(find "$TREE" -type f | wc -l)
BYTES=$(du -sb "$TREE" | cut -f1)
warm() { find "$TREE" -type f -print0 | xargs -0 cat >/dev/null; sync; }
warm
awk -v f="$FILES" -v b="$BYTES" 'BEGIN { printf "tree: %d files, %.0f MiB\n", f, b / 1048576 }'

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }
# Runs a command under /usr/bin/time -v; prints "seconds peak-RSS-KiB". The command's own output goes to
# $WORK/last.out and $WORK/last.err.
measure() {
  local start end
  start=$(now)
  /usr/bin/time -v -o "$WORK/time.txt" "$@" >"$WORK/last.out" 2>"$WORK/last.err" ||
    { cat "$WORK/last.err" >&2; exit 1; }
  end=$(now)
  echo "$(calc "$end - $start") $(awk -F': ' '/Maximum resident set size/ {print $2}' "$WORK/time.txt")"
}
# One run of a contender: "seconds peak-RSS-KiB". Every run writes into a fresh folder (the "@OUT@" argument) and
# nothing is deleted until the end: right after many deletions the file system spends most of its time looking
# for inodes it may reuse, which would time the deletions instead of the contender. For the driver the seconds
# are the run's own (StartBackup to completion), without the process start and, for the incremental run, without
# building its reference list. The run's folder is in $WORK/last.dir.
once() {
  local t m out args
  out=$(mktemp -d "$WORK/out/run.XXXXXX")
  echo "$out" >"$WORK/last.dir"
  args=("${@//@OUT@/$out}")
  sync
  read -r t m < <(measure "${args[@]}")
  [ -n "$t" ] || exit 1
  [ "$1" = "$DRIVER" ] && read -r t _ <"$WORK/last.out"
  echo "$t $m"
}
# Keeps the smaller time (and its memory) in the variables named by $1 and $2.
keep_best() {
  local -n best_t=$1 best_m=$2
  if [ -z "$best_t" ] || [ "$(calc "$3 < $best_t")" = "1.000" ]; then best_t=$3; best_m=$4; fi
}

# Each engine run alternates with the tool it is compared with, so both meet the same machine; the best of
# REPEATS rounds counts.
CP_T="" CP_M="" EDIR_T="" EDIR_M="" ZIP_T="" ZIP_M="" EZIP_T="" EZIP_M="" EENC_T="" EENC_M="" EINC_T="" EINC_M=""
CPS_T="" CPS_M="" ZIPS_T="" ZIPS_M=""
for _ in $(seq "$REPEATS"); do
  read -r t m < <(once cp -r "$TREE" "@OUT@/copy")
  keep_best CP_T CP_M "$t" "$m"
  read -r t m < <(once sh -c "cp -r '$TREE' '@OUT@/copy' && sync -f '@OUT@'")
  keep_best CPS_T CPS_M "$t" "$m"
  read -r t m < <(once "$DRIVER" folder "$TREE" "@OUT@")
  keep_best EDIR_T EDIR_M "$t" "$m"
  read -r _ _ _ EDIR_OUT <"$WORK/last.out"
  diff -r "$TREE" "$EDIR_OUT/Data" >/dev/null || { echo "the engine's folder copy differs from the tree" >&2; exit 1; }

  read -r t m < <(once sh -c "cd '$WORK/src' && zip -r -q '@OUT@/tool.zip' Data")
  keep_best ZIP_T ZIP_M "$t" "$m"
  ZIP_SIZE=$(stat -c %s "$(cat "$WORK/last.dir")/tool.zip")
  read -r t m < <(once sh -c "cd '$WORK/src' && zip -r -q '@OUT@/tool.zip' Data && sync -f '@OUT@'")
  keep_best ZIPS_T ZIPS_M "$t" "$m"
  read -r t m < <(once "$DRIVER" zip "$TREE" "@OUT@")
  keep_best EZIP_T EZIP_M "$t" "$m"
  read -r _ EZIP_FILES _ EZIP_OUT <"$WORK/last.out"
  EZIP_SIZE=$(stat -c %s "$EZIP_OUT")
  unzip -tq "$EZIP_OUT" >/dev/null || { echo "the engine's archive does not pass unzip -t" >&2; exit 1; }
  [ "$EZIP_FILES" = "$FILES" ] || { echo "the engine archived $EZIP_FILES of $FILES files" >&2; exit 1; }
  [ -z "$(ls -A "$TMPDIR")" ] || { echo "a staging folder was left behind" >&2; exit 1; }

  read -r t m < <(once "$DRIVER" zip-encrypted "$TREE" "@OUT@")
  keep_best EENC_T EENC_M "$t" "$m"
  read -r t m < <(once "$DRIVER" incremental "$TREE" "@OUT@")
  keep_best EINC_T EINC_M "$t" "$m"
  grep -q "Değişiklik bulunamadı" "$WORK/last.err" || { echo "the incremental run found changes" >&2; exit 1; }
done

mib() { calc "$1 / 1024"; }
echo
printf "%-34s %9s %9s %12s\n" "run" "seconds" "ratio" "peak RSS MiB"
printf "%-34s %9s %9s %12s\n" "zip -r -q" "$ZIP_T" "" ""
printf "%-34s %9s %9s %12s\n" "zip -r -q, then sync -f" "$ZIPS_T" "" ""
printf "%-34s %9s %9s %12s\n" "engine, full compressed" "$EZIP_T" "$(calc "$EZIP_T / $ZIP_T")" "$(mib "$EZIP_M")"
printf "%-34s %9s %9s %12s\n" "engine, full compressed encrypted" "$EENC_T" "$(calc "$EENC_T / $ZIP_T")" \
  "$(mib "$EENC_M")"
printf "%-34s %9s %9s %12s\n" "cp -r" "$CP_T" "" ""
printf "%-34s %9s %9s %12s\n" "cp -r, then sync -f" "$CPS_T" "" ""
printf "%-34s %9s %9s %12s\n" "engine, full folder" "$EDIR_T" "$(calc "$EDIR_T / $CP_T")" "$(mib "$EDIR_M")"
printf "%-34s %9s %9s %12s\n" "engine, incremental, no change" "$EINC_T" "" "$(mib "$EINC_M")"
echo
awk -v a="$ZIP_SIZE" -v b="$EZIP_SIZE" 'BEGIN { printf "archive size: zip %.1f MiB, engine %.1f MiB\n", a / 1048576, b / 1048576 }'
echo "targets: compressed <= 1.3 x zip, folder <= 1.3 x cp, incremental < 2 s, peak RSS < 64 MiB"
echo "engine against the tools with sync -f: compressed $(calc "$EZIP_T / $ZIPS_T") x, folder $(calc "$EDIR_T / $CPS_T") x"
