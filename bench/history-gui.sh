#!/usr/bin/env bash
# Times what the window's main thread waits for on a year of history (365 entries x 3,000 files, ~100 MB of
# history.json): one entry for a history command, one run's history entry, one history list refresh; first as the
# window did it before the history writer (full read, write on the spot), then through the application core, then
# through the core once the file changed behind its index.
# The file is fresh in the page cache, as it is after the program wrote it. Peak memory is the whole process's.
# Usage: bench/history-gui.sh [entries] [files-per-entry]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_BENCH=ON -DVELKOR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target history_gui_bench >/dev/null
bench=build-bench/bench/history_gui_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-history-gui.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The core's start-up leftovers and staging folders stay in the scratch folder.
export APPDATA="$work/appdata" XDG_CONFIG_HOME="$work/xdg"
"$bench" generate "$work/seed" "$@"
run() {
  local mode=$1
  shift
  rm -rf "$work/config" && cp -r "$work/seed" "$work/config"
  echo "-- $mode"
  if command -v /usr/bin/time >/dev/null; then
    /usr/bin/time -f "peak resident memory: %M KiB" "$bench" "$mode" "$work/config" "$@"
  else
    "$bench" "$mode" "$work/config" "$@"
  fi
}
run before "$@"
run after "$@"
run miss "$@"
run item "$@"
