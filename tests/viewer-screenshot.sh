#!/usr/bin/env bash
# quorvane --screenshot on the project's sample photos: a PNG of the folder's window, one opened on
# a photo, the same for a folder and a photo whose names are not UTF-8, and exit status 1 with a
# message when the PNG cannot be written.
# Usage: viewer-screenshot.sh QUORVANE PHOTOS_DIR OUT_DIR
set -uo pipefail
quorvane=$1 photos=$2 out=$3
if [ ! -d "$photos" ]; then
  echo "no sample photos at $photos"
  exit 77
fi
mkdir -p "$out"

# Writes a screenshot of the window opened on $2 to $out/$1 and checks it is a PNG.
shoot() {
  rm -f "$out/$1"
  if ! "$quorvane" --screenshot "$out/$1" "$2"; then
    echo "quorvane --screenshot failed on $2"
    exit 1
  fi
  if [ "$(head -c 8 "$out/$1" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
    echo "$out/$1 is not a PNG"
    exit 1
  fi
}
shoot program-folder.png "$photos"
shoot program-photo.png "$photos/canon-sunset.jpg"

# A folder and a photo whose names are not UTF-8, given as the bytes they are.
odd=$(mktemp -d)
trap 'rm -rf "$odd"' EXIT
cp "$photos/canon-sunset.jpg" "$odd/$(printf 'sunset-\xe9.jpg')"
mkdir "$odd/$(printf '\xff\xfe')"
cp "$photos/night-city.jpg" "$odd/$(printf '\xff\xfe')/"
shoot program-folder-not-utf8.png "$odd/$(printf '\xff\xfe')"
shoot program-photo-not-utf8.png "$odd/$(printf 'sunset-\xe9.jpg')"

message=$("$quorvane" --screenshot "$out/no such folder/window.png" "$photos" 2>&1 >/dev/null)
status=$?
if [ "$status" -ne 1 ] || [ -z "$message" ]; then
  echo "an unwritable screenshot gave exit status $status and the message '$message'"
  exit 1
fi
echo "ok"
