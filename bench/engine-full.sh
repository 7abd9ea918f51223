#!/usr/bin/env bash
# Whole backup runs over a 1 GiB tree beside the tools that do the same work, alternating, round after round:
#   - a full compressed run against `zip -r -q`                           target <= 0.5 x on 2 cores
#   - a full compressed run of 2,000 small files against `zip -r -q`      target <= 2 x
#   - a full folder run against `cp -r`                                   target <= 1.1 x
#   - an incremental run that finds nothing new over 20,000 files against `find -newer`   target <= 3 x
#   - `velkor-cli history` on a history of 1,000 runs of 1,000 files      target <= 0.5 s, <= 64 MiB
# with the peak resident memory of every run (target < 64 MiB). An engine run ends only once its output is on the
# disk, so the tools that write are also timed followed by `sync -f` of their output. The first compressed run's
# archive is checked: `unzip -t`, no entry that is not Deflate, and a restore that gives the tree back byte for byte.
# Usage: bench/engine-full.sh [rounds, default 3; the median of each contender counts]
# The tree and every output go to a fresh folder under $TMPDIR (else /tmp), removed at the end. The page cache is
# warmed before timing, so every contender reads the tree from memory.
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-3}

if ! [ -x /usr/bin/time ] || ! command -v zip >/dev/null || ! command -v zipinfo >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq time zip unzip >/dev/null
fi

# Release build of the libraries and velkor-cli; the drivers link the libraries directly.
BUILD=build-bench-engine-full
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD" --target velkor_engine velkor_restore velkor-cli -j2 >/dev/null
LIBS=("$BUILD/src/restore/libvelkor_restore.a" "$BUILD/src/engine/libvelkor_engine.a"
  "$BUILD/src/crypto/libvelkor_crypto.a" "$BUILD/src/config/libvelkor_config.a"
  "$BUILD/src/scheduling/libvelkor_scheduling.a" "$BUILD/src/config/libvelkor_config.a"
  "$BUILD/src/platform/libvelkor_platform.a" "$BUILD/src/util/libvelkor_util.a" -lz -lcrypto -pthread)
DRIVER="$BUILD/engine_full"
RESTORE="$BUILD/restore_zip"
CLI="$BUILD/src/cli/velkor-cli"
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/engine/engine_full.cpp "${LIBS[@]}" -o "$DRIVER"
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/restore/restore_zip.cpp "${LIBS[@]}" -o "$RESTORE"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velkor-engine-full.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
TREE="$WORK/src/Data"
SMALL="$WORK/small/Small"
mkdir -p "$TREE" "$SMALL" "$WORK/out"
# An encrypted run would keep its plaintext archive in the temporary folder; keep that inside the scratch folder.
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
# Three incompressible files of 128 MiB.
for i in range(3):
    with open(os.path.join(root, "large", "media%d.bin" % i), "wb") as f:
        for _ in range(128):
            f.write(os.urandom(1 << 20))
# Names beyond ASCII, so the archive's UTF-8 flags show.
os.makedirs(os.path.join(root, "görevler", "şubat"), exist_ok=True)
for i in range(6):
    with open(os.path.join(root, "görevler", "şubat", "rapor-%d ığüşöç.txt" % i), "wb") as f:
        f.write(text[i * 4096:(i + 1) * 4096])
EOF
# The 2,000 small files alone.
for d in $(seq -f "d%03g" 0 19); do cp -r "$TREE/docs/$d" "$SMALL/"; done
FILES=$(find "$TREE" -type f | wc -l)
BYTES=$(du -sb "$TREE" | cut -f1)

# A history of 1,000 runs of 1,000 files each, where velkor-cli looks for it.
export APPDATA="$WORK/appdata"
mkdir -p "$APPDATA/Pardex"
/usr/bin/python3 - "$APPDATA/Pardex/history.json" <<'EOF'
import json, sys
with open(sys.argv[1], "w", encoding="utf-8", newline="") as out:
    out.write("\ufeff[")
    for i in range(1000):
        entry = {"BackupTime": "2024-01-%02dT%02d:00:00" % (1 + i // 24 % 28, i % 24), "Success": i % 7 != 3,
                 "TaskName": "Muhasebe Belgeleri", "Details": "1000 dosya yedeklendi (1,00 MB)", "StorageMode": 0,
                 "StorageModeText": "Lokal Disk", "LocalOutputPath": "/mnt/yedek/M_%d.zip" % i,
                 "CloudOutputPath": "", "CloudProvider": "", "CloudStatus": "",
                 "OutputPath": "/mnt/yedek/M_%d.zip" % i, "Checksum": "e" * 64, "Verified": True,
                 "SourceFolders": ["/home/ayşe/Belgeler"], "SourceCount": 1, "FileCount": 1000, "TotalSize": 1500000,
                 "Files": [{"FileName": "/home/ayşe/Belgeler/klasör %d/dosya-%d.txt" % (f % 40, f),
                            "FileSize": 1000 + f, "Success": f != 999 or i % 7 != 3} for f in range(1000)]}
        out.write(("," if i else "") + json.dumps(entry, ensure_ascii=False, separators=(",", ":")))
    out.write("]\r\n")
EOF

warm() { find "$WORK/src" "$WORK/small" "$APPDATA" -type f -print0 | xargs -0 cat >/dev/null; sync; }
warm
awk -v f="$FILES" -v b="$BYTES" -v h="$(stat -c %s "$APPDATA/Pardex/history.json")" \
  'BEGIN { printf "tree: %d files, %.0f MiB; history.json: %.0f MiB\n", f, b / 1048576, h / 1048576 }'

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }
# Runs a command under /usr/bin/time -v; prints "seconds peak-RSS-KiB". Its output goes to $WORK/last.out and
# $WORK/last.err.
measure() {
  local start end
  start=$(now)
  /usr/bin/time -v -o "$WORK/time.txt" "$@" >"$WORK/last.out" 2>"$WORK/last.err" ||
    { cat "$WORK/last.err" >&2; exit 1; }
  end=$(now)
  echo "$(calc "$end - $start") $(awk -F': ' '/Maximum resident set size/ {print $2}' "$WORK/time.txt")"
}
# One run of a contender, recorded under the name $1: "seconds peak-RSS-KiB" is appended to $WORK/<name>.runs.
# Every run writes into a fresh folder (the "@OUT@" argument) and nothing is deleted until the end: right after
# many deletions the file system spends most of its time looking for inodes it may reuse, which would time the
# deletions instead of the contender. For the driver the seconds are the run's own (StartBackup to completion),
# without the process start and, for the incremental run, without building its reference list. The run's folder
# is in $WORK/last.dir.
once() {
  local name=$1 t m out args
  shift
  out=$(mktemp -d "$WORK/out/run.XXXXXX")
  echo "$out" >"$WORK/last.dir"
  args=("${@//@OUT@/$out}")
  sync
  read -r t m < <(measure "${args[@]}")
  [ -n "$t" ] || exit 1
  [ "$1" = "$DRIVER" ] && read -r t _ <"$WORK/last.out"
  echo "$t $m" >>"$WORK/$name.runs"
}
# The median of a contender's runs: "seconds peak-RSS-MiB" (the memory is the largest of all its runs).
median() {
  sort -n "$WORK/$1.runs" | awk '{ t[NR] = $1; if ($2 > m) m = $2 }
    END { printf "%.3f %.1f\n", (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2), m / 1024 }'
}

CHECKED=""
for round in $(seq "$ROUNDS"); do
  echo "round $round of $ROUNDS ..."
  once zip sh -c "cd '$WORK/src' && zip -r -q '@OUT@/tool.zip' Data"
  ZIP_SIZE=$(stat -c %s "$(cat "$WORK/last.dir")/tool.zip")
  once zip-sync sh -c "cd '$WORK/src' && zip -r -q '@OUT@/tool.zip' Data && sync -f '@OUT@'"
  once engine-zip "$DRIVER" zip "$TREE" "@OUT@"
  read -r _ EZIP_FILES _ EZIP_OUT <"$WORK/last.out"
  EZIP_SIZE=$(stat -c %s "$EZIP_OUT")
  [ "$EZIP_FILES" = "$FILES" ] || { echo "the engine archived $EZIP_FILES of $FILES files" >&2; exit 1; }
  [ -z "$(ls -A "$TMPDIR")" ] || { echo "the run left something in the temporary folder" >&2; exit 1; }
  if [ -z "$CHECKED" ]; then
    unzip -tq "$EZIP_OUT" >/dev/null || { echo "the engine's archive does not pass unzip -t" >&2; exit 1; }
    # zipinfo's method column: "defX", "defN", ... for Deflate, "stor" for stored entries.
    STORED=$(zipinfo "$EZIP_OUT" | awk '$1 ~ /^-/ && $6 !~ /^def/' | wc -l)
    [ "$STORED" = "0" ] || { echo "$STORED entries are not Deflate" >&2; exit 1; }
    FLAGGED=$(/usr/bin/python3 -c "import sys, zipfile
print(sum(1 for i in zipfile.ZipFile(sys.argv[1]).infolist() if i.flag_bits & 0x800))" "$EZIP_OUT")
    [ "$FLAGGED" = "6" ] || { echo "$FLAGGED entries carry the UTF-8 flag, not the 6 with such names" >&2; exit 1; }
    mkdir -p "$WORK/restored"
    "$RESTORE" restore "$EZIP_OUT" "$WORK/restored" >/dev/null
    diff -r "$TREE" "$WORK/restored/Data" >/dev/null || { echo "the restored tree differs" >&2; exit 1; }
    CHECKED=yes
  fi

  once small-zip sh -c "cd '$WORK/small' && zip -r -q '@OUT@/tool.zip' Small"
  once small-zip-sync sh -c "cd '$WORK/small' && zip -r -q '@OUT@/tool.zip' Small && sync -f '@OUT@'"
  once engine-small "$DRIVER" zip "$SMALL" "@OUT@"

  once cp cp -r "$TREE" "@OUT@/copy"
  once cp-sync sh -c "cp -r '$TREE' '@OUT@/copy' && sync -f '@OUT@'"
  once engine-folder "$DRIVER" folder "$TREE" "@OUT@"
  read -r _ _ _ EDIR_OUT <"$WORK/last.out"
  diff -r "$TREE" "$EDIR_OUT/Data" >/dev/null || { echo "the engine's folder copy differs from the tree" >&2; exit 1; }

  touch "$WORK/reference"
  once find find "$TREE" -newer "$WORK/reference"
  once engine-incremental "$DRIVER" incremental "$TREE" "@OUT@"
  grep -q "Değişiklik bulunamadı" "$WORK/last.err" || { echo "the incremental run found changes" >&2; exit 1; }

  once history "$CLI" history
  [ "$(wc -l <"$WORK/last.out")" = "1000" ] || { echo "velkor-cli history did not list 1,000 runs" >&2; exit 1; }
done

row() { # name, label, [tool name for the ratio], [second tool name]
  local t m ratio="" ratio2=""
  read -r t m < <(median "$1")
  if [ -n "${3:-}" ]; then read -r bt _ < <(median "$3"); ratio=$(calc "$t / $bt"); fi
  if [ -n "${4:-}" ]; then read -r bt _ < <(median "$4"); ratio2=$(calc "$t / $bt"); fi
  printf "| %-40s | %8s | %8s | %10s | %12s |\n" "$2" "$t" "$ratio" "$ratio2" "$m"
}
echo
echo "median of $ROUNDS rounds; ratio: against the tool, and against the tool followed by sync -f"
printf "| %-40s | %8s | %8s | %10s | %12s |\n" "run" "seconds" "ratio" "ratio sync" "peak RSS MiB"
printf "|%s|%s|%s|%s|%s|\n" "------------------------------------------" "----------" "----------" "------------" \
  "--------------"
row zip "zip -r -q (1 GiB, $FILES files)"
row zip-sync "zip -r -q, then sync -f"
row engine-zip "engine, full compressed" zip zip-sync
row small-zip "zip -r -q (2,000 small files)"
row small-zip-sync "zip -r -q, then sync -f"
row engine-small "engine, full compressed, 2,000 files" small-zip small-zip-sync
row cp "cp -r"
row cp-sync "cp -r, then sync -f"
row engine-folder "engine, full folder" cp cp-sync
row find "find -newer"
row engine-incremental "engine, incremental, no change" find
row history "velkor-cli history (1,000 x 1,000)"
echo
awk -v a="$ZIP_SIZE" -v b="$EZIP_SIZE" 'BEGIN { printf "archive size: zip %.1f MiB, engine %.1f MiB\n", a / 1048576, b / 1048576 }'
echo "targets: compressed <= 0.5 x zip, 2,000 files <= 2 x zip, folder <= 1.1 x cp, incremental <= 3 x find,"
echo "         history <= 0.5 s; peak RSS < 64 MiB"
