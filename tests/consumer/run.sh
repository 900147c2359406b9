#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds the consumer program against it twice (through
# the CMake package and through pkg-config) and runs both. Usage: run.sh BUILD_DIR SOURCE_DIR PHOTOS_DIR
set -euo pipefail
build="$1" source="$2" photos="$3"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$source/tests/consumer" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" \
  c++ -std=c++20 -o "$scratch/pkgconfig-consumer" "$source/tests/consumer/main.cpp" \
  $(PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" pkg-config --cflags --libs --static quorvane)
for program in "$scratch/cmake/consumer" "$scratch/pkgconfig-consumer"; do
  made="$("$program")"
  [ "$made" = "Consumer" ] || { echo "$program wrote and read back '$made'"; exit 1; }
  # The first sample photo with a make: the consumer must read what the command-line companion reads.
  for photo in "$photos"/*.jpg; do
    [ -f "$photo" ] || break
    line="$("$build/bin/quorvane-cli" tags "$photo" | grep -m1 '^  0x010f ' || true)"
    [ -n "$line" ] || continue
    expected="$(echo "$line" | sed -E 's/^  0x010f (Make )?ASCII [0-9]+ //')"
    make="$("$program" "$photo")"
    [ "$make" = "$expected" ] || { echo "$program read '$make' from $photo, expected '$expected'"; exit 1; }
    break
  done
done
# The installed companion finds the MakerNote descriptions in ../share/quorvane/.
[ -f "$scratch/prefix/share/quorvane/MakerNotes.ini" ] || { echo "MakerNotes.ini not installed"; exit 1; }
ini_sections="$(grep -c '^\[' "$scratch/prefix/share/quorvane/MakerNotes.ini")"
[ "$ini_sections" -gt 0 ] || { echo "installed MakerNotes.ini is empty"; exit 1; }
for photo in "$photos"/*.jpg; do
  [ -f "$photo" ] || break
  "$scratch/prefix/bin/quorvane-cli" tags "$photo" | grep -q '^makernote: TCanonMakerNote' || continue
  if "$scratch/prefix/bin/quorvane-cli" list "$photo" | grep -q '^Unknown (\$0001)'; then
    echo "the installed quorvane-cli did not describe the Canon MakerNote of $photo"; exit 1
  fi
  break
done
# The viewer, its desktop entry and icons, where desktop environments look for them.
for installed in bin/quorvane share/applications/org.quorvane.Quorvane.desktop share/icons/hicolor/scalable/apps/quorvane.svg \
    share/icons/hicolor/256x256/apps/quorvane.png; do
  [ -s "$scratch/prefix/$installed" ] || { echo "$installed not installed"; exit 1; }
done
grep -qx 'Icon=quorvane' "$scratch/prefix/share/applications/org.quorvane.Quorvane.desktop" \
  || { echo "the installed desktop entry does not name the quorvane icon"; exit 1; }
echo "consumer: CMake package and pkg-config both work; the installed companion finds its data; desktop entry and icons installed"
