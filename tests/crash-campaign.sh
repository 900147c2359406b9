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
# name, so it is rewritten in place behind a backup; sidecar: the photo is a TIFF, never written,
# whose edit replaces its XMP sidecar, which is judged instead (and the TIFF must stay as it was).
# Without photos, the largest of ../shared/photos and those whose saves keep MakerNote data in place
# are used (a small generated TIFF for sidecar). Exits 1 when a photo was neither.
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
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ext=jpg
if [ "$mode" = sidecar ]; then
  # A little-endian TIFF: IFD0 with Make "Canon" and Copyright "Old"; its sidecar holds a setting.
  ext=tif
  printf 'II*\x00\x08\x00\x00\x00\x02\x00\x0f\x01\x02\x00\x06\x00\x00\x00\x26\x00\x00\x00' >"$work/raw.tif"
  printf '\x98\x82\x02\x00\x04\x00\x00\x00Old\x00\x00\x00\x00\x00Canon\x00' >>"$work/raw.tif"
  printf '%s' '<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" xmlns:crs="http://ns.adobe.com/camera-raw-settings/1.0/" crs:Exposure2012="+0.50"/></rdf:RDF></x:xmpmeta>' >"$work/raw.xmp"
  photos=("$work/raw.tif")
fi
[ ${#photos[@]} -gt 0 ] || { echo "no photos" >&2; exit 2; }
# The file a save replaces: the photo, or for sidecar its XMP sidecar.
judged=photo.$ext
[ "$mode" = sidecar ] && judged=photo.xmp
edit="Copyright=Crash campaign"
n=${#photos[@]}
declare -a old new micros raw
for i in "${!photos[@]}"; do
  old[i]="$work/old-$i.$ext"
  new[i]="$work/new-$i.$ext"
  cp "${photos[i]}" "${old[i]}"
  cp "${photos[i]}" "${new[i]}"
  chmod u+w "${old[i]}" "${new[i]}"
  # The new photo, and how long one save of it takes in this mode (the kill falls within 1.2 times
  # that): a hard-linked photo is copied to a backup and rewritten, which takes longer.
  [ "$mode" = hardlink ] && ln "${new[i]}" "$work/new-$i-link.jpg"
  [ "$mode" = sidecar ] && cp "$work/raw.xmp" "$work/new-$i.xmp"
  start=$(date +%s%N)
  "$cli" write "${new[i]}" "$edit" >/dev/null
  micros[i]=$(( ($(date +%s%N) - start) / 1000 ))
  rm -f "$work/new-$i-link.jpg"
  if [ "$mode" = sidecar ]; then  # judged: the sidecars before and after
    raw[i]="${old[i]}"
    old[i]="$work/raw.xmp"
    new[i]="$work/new-$i.xmp"
  fi
done

asOld=0 asNew=0 neither=0 cut=0 leftFiles=0 leftBytes=0
for ((t = 0; t < trials; t++)); do
  i=$((t % n))
  dir="$work/trial"
  rm -rf "$dir"
  mkdir "$dir"
  if [ "$mode" = sidecar ]; then
    cp "${raw[i]}" "$dir/photo.tif"
    cp "${old[i]}" "$dir/photo.xmp"
  else
    cp "${old[i]}" "$dir/photo.jpg"
  fi
  [ "$mode" = hardlink ] && ln "$dir/photo.jpg" "$dir/other-name.jpg"
  delay=$(( (RANDOM * 32768 + RANDOM) % (micros[i] * 12 / 10 + 1) ))
  "$cli" write "$dir/photo.$ext" "$edit" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if ! cmp -s "$dir/$judged" "${old[i]}" && ! cmp -s "$dir/$judged" "${new[i]}"; then cut=$((cut + 1)); fi
  # The next touch: a listing of the photo, then a save of another photo in the folder.
  "$cli" tags "$dir/photo.$ext" >/dev/null 2>&1 || true
  cp "${raw[i]:-${old[i]}}" "$dir/next.$ext"
  "$cli" write "$dir/next.$ext" "$edit" >/dev/null 2>&1
  if cmp -s "$dir/$judged" "${old[i]}"; then
    asOld=$((asOld + 1))
  elif cmp -s "$dir/$judged" "${new[i]}"; then
    asNew=$((asNew + 1))
  else
    neither=$((neither + 1))
    echo "trial $t (${photos[i]##*/}, killed after ${delay} us): neither old nor new ($(stat -c %s "$dir/$judged") bytes)" >&2
  fi
  if [ "$mode" = sidecar ] && ! cmp -s "$dir/photo.tif" "${raw[i]}"; then
    echo "trial $t: the TIFF was written" >&2
    neither=$((neither + 1))
  fi
  if [ "$mode" = hardlink ] && ! cmp -s "$dir/photo.jpg" "$dir/other-name.jpg"; then
    echo "trial $t: the two names differ" >&2
    neither=$((neither + 1))
  fi
  for f in "$dir"/* "$dir"/.[!.]*; do
    [ -e "$f" ] || continue
    case "${f##*/}" in photo.jpg | other-name.jpg | next.jpg | photo.tif | photo.xmp | next.tif | next.xmp) continue ;; esac
    leftFiles=$((leftFiles + 1))
    leftBytes=$((leftBytes + $(stat -c %s "$f")))
  done
done
echo "$mode: $trials trials over $n photos: cut by the kill $cut; after the next touch: old $asOld, new $asNew, neither $neither; files left beside: $leftFiles ($leftBytes bytes)"
[ "$neither" -eq 0 ]
