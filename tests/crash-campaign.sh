#!/usr/bin/env bash
# Kill -9 campaign over a save: `quorvane-cli write PHOTO Copyright=...` is killed at a random moment
# of its run, again and again. After the next touch of the photo (a `quorvane-cli tags` of it, which
# restores it from the backup of an interrupted in-place rewrite) it must be byte for byte the old one
# or the new one; right after the kill, photos still waiting for that are counted as "cut". Files
# left beside it after the next save in its folder (of another photo) are counted.
#
#   tests/crash-campaign.sh [TRIALS [single|hardlink [PHOTO...]]]
#
# single: the photo has one name (replaced through a temporary file); hardlink: it has a second
# name, so it is rewritten in place behind a backup. Without photos, the largest of ../shared/photos
# and those whose saves keep MakerNote data in place are used. Exits 1 when a photo was neither.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${CLI:-$root/build/bin/quorvane-cli}"
trials="${1:-200}"
mode="${2:-single}"
shift 2 2>/dev/null || shift $#
photos=("$@")
if [ ${#photos[@]} -eq 0 ]; then
  shared="$root/../shared/photos"
  for name in dcc_sony_slt-a55v_SLT-A55__DSC3757.jpg mdx_panasonic_dmc-lx3_Panasonic-DMC-LX3-Lumix.jpg \
      ianare_olympus_e-p3_42_IndexError.jpg dcc_kodak_kodak-digital-science-dc_DC260_P0004797.jpg \
      exiftool_olympus_e-1_OlympusE1.jpg mdx_nikon_nikon-d60_Nikon-D60.jpg; do
    [ -f "$shared/$name" ] && photos+=("$shared/$name")
  done
fi
[ ${#photos[@]} -gt 0 ] || { echo "no photos" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
edit="Copyright=Crash campaign"
n=${#photos[@]}
declare -a old new micros
for i in "${!photos[@]}"; do
  old[i]="$work/old-$i.jpg"
  new[i]="$work/new-$i.jpg"
  cp "${photos[i]}" "${old[i]}"
  cp "${photos[i]}" "${new[i]}"
  chmod u+w "${old[i]}" "${new[i]}"
  # The new photo, and how long one save of it takes in this mode (the kill falls within 1.2 times
  # that): a hard-linked photo is copied to a backup and rewritten, which takes longer.
  [ "$mode" = hardlink ] && ln "${new[i]}" "$work/new-$i-link.jpg"
  start=$(date +%s%N)
  "$cli" write "${new[i]}" "$edit" >/dev/null
  micros[i]=$(( ($(date +%s%N) - start) / 1000 ))
  rm -f "$work/new-$i-link.jpg"
done

asOld=0 asNew=0 neither=0 cut=0 leftFiles=0 leftBytes=0
for ((t = 0; t < trials; t++)); do
  i=$((t % n))
  dir="$work/trial"
  rm -rf "$dir"
  mkdir "$dir"
  cp "${old[i]}" "$dir/photo.jpg"
  [ "$mode" = hardlink ] && ln "$dir/photo.jpg" "$dir/other-name.jpg"
  delay=$(( (RANDOM * 32768 + RANDOM) % (micros[i] * 12 / 10 + 1) ))
  "$cli" write "$dir/photo.jpg" "$edit" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if ! cmp -s "$dir/photo.jpg" "${old[i]}" && ! cmp -s "$dir/photo.jpg" "${new[i]}"; then cut=$((cut + 1)); fi
  # The next touch: a listing of the photo, then a save of another photo in the folder.
  "$cli" tags "$dir/photo.jpg" >/dev/null 2>&1 || true
  cp "${old[i]}" "$dir/next.jpg"
  "$cli" write "$dir/next.jpg" "$edit" >/dev/null 2>&1
  if cmp -s "$dir/photo.jpg" "${old[i]}"; then
    asOld=$((asOld + 1))
  elif cmp -s "$dir/photo.jpg" "${new[i]}"; then
    asNew=$((asNew + 1))
  else
    neither=$((neither + 1))
    echo "trial $t (${photos[i]##*/}, killed after ${delay} us): neither old nor new ($(stat -c %s "$dir/photo.jpg") bytes)" >&2
  fi
  if [ "$mode" = hardlink ] && ! cmp -s "$dir/photo.jpg" "$dir/other-name.jpg"; then
    echo "trial $t: the two names differ" >&2
    neither=$((neither + 1))
  fi
  for f in "$dir"/* "$dir"/.[!.]*; do
    [ -e "$f" ] || continue
    case "${f##*/}" in photo.jpg | other-name.jpg | next.jpg) continue ;; esac
    leftFiles=$((leftFiles + 1))
    leftBytes=$((leftBytes + $(stat -c %s "$f")))
  done
done
echo "$mode: $trials trials over $n photos: cut by the kill $cut; after the next touch: old $asOld, new $asNew, neither $neither; files left beside: $leftFiles ($leftBytes bytes)"
[ "$neither" -eq 0 ]
