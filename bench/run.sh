#!/usr/bin/env bash
# The benchmark anyone can rerun: builds a Release tree, makes a corpus of varied photos from
# samples/ with the library's own writer, and prints one table of figures and ratios measured side
# by side in one run on the same files, followed by the in-process benchmark programs.
#
#   bench/run.sh [COUNT]        COUNT photos in the corpus (default 1000)
#   bench/run.sh FOLDER         the JPEGs in FOLDER (*.jpg, *.jpeg, any case) instead of a corpus;
#                               the save rows, which need the corpus's 10 MB photo, are left out
#
# The save of the 10 MB photo is timed on the build's file system and, when run as root with
# mkfs.xfs (Debian: xfsprogs), on an XFS image with reflink mounted on a loop device, where the
# image data is cloned instead of copied.
#
# Environment: RUNS (timed runs per job, default 11; the median is shown), BUILD (default
# build-release), CLI (the quorvane-cli timed, default BUILD/bin/quorvane-cli: say, one built from an
# older commit, to compare). Whole processes are timed with the page cache warm (one untimed run first).
# SMOKE=1 checks that every step runs, quickly: it uses the programs already built in BUILD (no
# configure, no build), one run per job and the in-process benchmarks for a moment each.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
count="${1:-1000}"
folder=""
if [ -d "$count" ]; then
  folder="$(cd "$count" && pwd)"
elif ! [[ "$count" =~ ^[0-9]+$ ]]; then
  echo "usage: bench/run.sh [COUNT|FOLDER]" >&2
  exit 2
fi
runs="${RUNS:-11}"
build="${BUILD:-$root/build-release}"
work="$build/bench"
smoke="${SMOKE:-}"
benchmark_options=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
if [ -n "$smoke" ]; then
  runs=1
  benchmark_options=(--benchmark_min_time=0.001 --benchmark_repetitions=2 --benchmark_report_aggregates_only=true)
else
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quorvane-cli quorvane-make-corpus LoadBench SaveBench ListBench ViewerBench >/dev/null
fi
mkdir -p "$work"
cc -O2 -o "$work/read-floor" "$root/bench/read-floor.c"
cc -O2 -o "$work/save-floor" "$root/bench/save-floor.c"
cli="${CLI:-$build/bin/quorvane-cli}"

if [ -n "$folder" ]; then
  mapfile -t files < <(find "$folder" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | LC_ALL=C sort)
  if [ ${#files[@]} -eq 0 ]; then
    echo "no JPEG files in $folder" >&2
    exit 1
  fi
  corpus="$folder"
else
  if [ ! -f "$work/corpus-$count/done" ]; then
    rm -rf "$work/corpus-$count"
    "$build/bin/quorvane-make-corpus" --count "$count" --big "$work/big.jpg" "$root/samples" "$work/corpus-$count" >/dev/null
    touch "$work/corpus-$count/done"
  fi
  mapfile -t files < <(find "$work/corpus-$count" -name '*.jpg' | sort)
  corpus="generated"
fi
# One process on one photo: the photo of median size stands for all.
one=$(for f in "${files[@]}"; do printf '%s\t%s\n' "$(stat -c %s "$f")" "$f"; done | sort -n |
  sed -n "$(((${#files[@]} + 1) / 2))p" | cut -f2-)

# The median wall time of a command in milliseconds, over $runs runs after one untimed run.
median_ms() {
  "$@" >/dev/null 2>&1 || true
  local times=()
  for ((r = 0; r < runs; r++)); do
    local start end
    # The shell's clock in microseconds: reading it starts no process, which would add to short jobs.
    start=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null 2>&1 || true
    end=${EPOCHREALTIME/[.,]/}
    times+=($((end - start)))
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
  awk -v us="$median" 'BEGIN { printf "%.1f", us / 1000 }'
}
# The medians of two commands (functions) run in turns, "A B" in milliseconds: saves that write a
# file leave the disk busy for whatever runs next, which in turns weighs on both alike.
median_pair_ms() {
  "$1" >/dev/null 2>&1 || true
  "$2" >/dev/null 2>&1 || true
  local first=() second=()
  for ((r = 0; r < runs; r++)); do
    local start middle end
    start=${EPOCHREALTIME/[.,]/}
    "$1" >/dev/null 2>&1 || true
    middle=${EPOCHREALTIME/[.,]/}
    "$2" >/dev/null 2>&1 || true
    end=${EPOCHREALTIME/[.,]/}
    first+=($((middle - start)))
    second+=($((end - middle)))
  done
  local row=$(((runs + 1) / 2))
  awk -v a="$(printf '%s\n' "${first[@]}" | sort -n | sed -n "${row}p")" \
      -v b="$(printf '%s\n' "${second[@]}" | sort -n | sed -n "${row}p")" 'BEGIN { printf "%.1f %.1f\n", a / 1000, b / 1000 }'
}
# Peak resident memory of a command in MB (also of one that fails on some photo of a folder).
peak_mb() { { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null || true; } | tail -1 | awk '{ printf "%.1f", $1 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }

have_exiftool=false
command -v exiftool >/dev/null && have_exiftool=true

echo "Measuring reads over ${#files[@]} photos ($runs runs each)..." >&2
floor=$(median_ms "$work/read-floor" "${files[@]}")
tags=$(median_ms "$cli" tags "${files[@]}")
tags1=$(median_ms "$cli" tags -j1 "${files[@]}")
json=$(median_ms "$cli" tags --json "${files[@]}")
list=$(median_ms "$cli" list "${files[@]}")
list1=$(median_ms "$cli" list -j1 "${files[@]}")
# A single process is short and noisy: five times the runs.
single_runs=$runs
runs=$((runs * 5))
one_floor=$(median_ms "$work/read-floor" "$one")
one_tags=$(median_ms "$cli" tags "$one")
one_json=$(median_ms "$cli" tags --json "$one")
runs=$single_runs
exiftool_read="not installed"
if $have_exiftool; then
  exiftool_runs=$runs
  runs=$((runs < 3 ? runs : 3))
  exiftool_read=$(median_ms exiftool -j -q "${files[@]}")
  runs=$exiftool_runs
fi

if [ -z "$folder" ]; then
  echo "Measuring one edit and save of a 10 MB photo..." >&2
  for who in floor quorvane exiftool exiv2; do cp "$work/big.jpg" "$work/big-$who.jpg"; done
  n=0
  save_floor_run() { "$work/save-floor" "$work/big-floor.jpg"; }
  save_quorvane() { n=$((n + 1)); "$cli" write "$work/big-quorvane.jpg" "Author=Photographer $n"; }
  save_exiftool() { n=$((n + 1)); exiftool -q -overwrite_original "-Artist=Photographer $n" "$work/big-exiftool.jpg"; }
  save_exiv2() { n=$((n + 1)); exiv2 -M"set Exif.Image.Artist Photographer $n" "$work/big-exiv2.jpg"; }
  read -r save_floor save < <(median_pair_ms save_floor_run save_quorvane)
  mem_floor=$(peak_mb "$work/save-floor" "$work/big-floor.jpg")
  mem_save=$(peak_mb "$cli" write "$work/big-quorvane.jpg" "Author=Peak")
  save_exiftool_ms="not installed"
  mem_exiftool="-"
  if $have_exiftool; then
    save_exiftool_ms=$(median_ms save_exiftool)
    mem_exiftool=$(peak_mb exiftool -q -overwrite_original "-Artist=Peak" "$work/big-exiftool.jpg")
  fi
  save_exiv2_ms="not installed"
  if command -v exiv2 >/dev/null; then read -r save_exiv2_ms save_against_exiv2 < <(median_pair_ms save_exiv2 save_quorvane); fi
  # The same save on an XFS image with reflink, where the image data can be cloned: as root with
  # mkfs.xfs and a free loop device only, and not in the smoke run.
  save_xfs=""
  xfs="$work/xfs"
  if [ -z "$smoke" ] && [ "$(id -u)" = 0 ] && command -v mkfs.xfs >/dev/null; then
    mkdir -p "$xfs"
    mountpoint -q "$xfs" && umount "$xfs"
    truncate -s 300M "$work/xfs.img"
    if mkfs.xfs -q -f -m reflink=1 "$work/xfs.img" >/dev/null 2>&1 && mount -o loop "$work/xfs.img" "$xfs" 2>/dev/null; then
      for who in floor quorvane; do cp "$work/big.jpg" "$xfs/big-$who.jpg"; done
      save_floor_xfs_run() { "$work/save-floor" "$xfs/big-floor.jpg"; }
      save_quorvane_xfs() { n=$((n + 1)); "$cli" write "$xfs/big-quorvane.jpg" "Author=Photographer $n"; }
      read -r save_floor_xfs save_xfs < <(median_pair_ms save_floor_xfs_run save_quorvane_xfs)
      umount "$xfs"
    fi
    rm -f "$work/xfs.img"
  fi
fi

echo "Measuring memory over many photos..." >&2
few=$((${#files[@]} < 100 ? ${#files[@]} : 100))
mem_few=$(peak_mb "$cli" tags -j1 "${files[@]:0:few}")
mem_all=$(peak_mb "$cli" tags -j1 "${files[@]}")

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//') ($(nproc) cores)"
{
  echo "Machine: $cpu, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo); corpus: ${#files[@]} photos ($corpus); median of $runs runs"
  echo
  echo "| Job | Quorvane | Reference | Ratio |"
  echo "|---|---|---|---|"
  echo "| tags, text | $tags ms | read floor (open + read 64 KiB each) $floor ms | $(ratio "$tags" "$floor") of the floor |"
  echo "| tags, JSON | $json ms | tags, text $tags ms | $(ratio "$json" "$tags") of text |"
  echo "| list | $list ms | tags, text $tags ms | $(ratio "$list" "$tags") of tags |"
  echo "| one process, one photo: tags | $one_tags ms | read floor on it $one_floor ms | $(ratio "$one_tags" "$one_floor") of the floor |"
  echo "| one process, one photo: tags, JSON | $one_json ms | tags, text $one_tags ms | $(ratio "$one_json" "$one_tags") of text |"
  echo "| tags, one core (-j1) | $tags1 ms | tags, all cores $tags ms | $(ratio "$tags1" "$tags") faster on all cores |"
  echo "| list, one core (-j1) | $list1 ms | list, all cores $list ms | $(ratio "$list1" "$list") faster on all cores |"
  if $have_exiftool; then
    echo "| tags, JSON | $json ms | exiftool -j $exiftool_read ms (at most 3 runs) | $(ratio "$exiftool_read" "$json") faster |"
  fi
  if [ -z "$folder" ]; then
    echo "| edit + durable save, 10 MB | $save ms | durable rewrite floor $save_floor ms, in turns | $(ratio "$save" "$save_floor") of the floor |"
    if $have_exiftool; then
      echo "| edit + save, 10 MB | $save ms | exiftool (no fsync) $save_exiftool_ms ms | $(ratio "$save_exiftool_ms" "$save") faster |"
    fi
    if [ "$save_exiv2_ms" != "not installed" ]; then
      echo "| edit + durable save, 10 MB | $save_against_exiv2 ms | exiv2 (no fsync) $save_exiv2_ms ms, in turns | $(ratio "$save_exiv2_ms" "$save_against_exiv2") faster |"
    fi
    if [ -n "$save_xfs" ]; then
      echo "| edit + durable save, 10 MB, XFS with reflink | $save_xfs ms | durable rewrite floor there $save_floor_xfs ms, in turns | $(ratio "$save_xfs" "$save_floor_xfs") of the floor |"
    fi
    echo "| peak memory of the save | $mem_save MB | floor $mem_floor MB, exiftool $mem_exiftool MB | |"
  fi
  echo "| peak memory of tags, $few vs ${#files[@]} photos | $mem_few MB / $mem_all MB | | |"
} | tee "$work/results.md"

echo
echo "In-process benchmarks (Google Benchmark, medians of 5):"
for program in LoadBench SaveBench ListBench ViewerBench; do
  "$build/bin/$program" "${benchmark_options[@]}" >"$work/$program.txt" 2>/dev/null
  { grep '_median' "$work/$program.txt" || true; } | awk '{ printf "  %-60s %10s %s\n", $1, $2, $3 }'
done
