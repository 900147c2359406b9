#!/usr/bin/env bash
# Validates the AppStream metadata with appstreamcli (no errors; warnings and remarks are printed)
# and checks that what it names exists: the desktop entry it launches, opening JPEG photos as the
# metadata says, and the screenshots in docs/screenshots/. Exits 77 (skipped) without appstreamcli.
# Usage: appstream-metainfo.sh METAINFO SOURCE_DIR
set -euo pipefail
metainfo="$1" source="$2"
command -v appstreamcli >/dev/null || { echo "skipped: appstreamcli is not installed (package appstream)"; exit 77; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Errors fail the check; warnings and remarks are only shown (appstreamcli may exit 3 for them).
status=0
report="$(appstreamcli validate --no-net --pedantic --explain "$metainfo" 2>&1)" || status=$?
echo "$report"
grep -q '^E:' <<<"$report" && fail "appstreamcli validate found errors"
[ "$status" -eq 0 ] || grep -q '^W:' <<<"$report" || fail "appstreamcli validate exits $status"

id="$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")"
launchable="$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")"
[ "$launchable" = "$id.desktop" ] || fail "the launchable '$launchable' is not the id $id.desktop"
entry="$source/viewer/$launchable"
[ -f "$entry" ] || fail "no desktop entry $entry"
grep -q '<mediatype>image/jpeg</mediatype>' "$metainfo" || fail "the metadata does not provide image/jpeg"
grep -qE '^MimeType=(.*;)?image/jpeg;' "$entry" || fail "$launchable does not open image/jpeg"
program="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
grep -q "<binary>$program</binary>" "$metainfo" || fail "the metadata does not provide the binary $program"
screenshots="$(sed -n 's:.*<image>https\://[^/]*/\(.*\)</image>.*:\1:p' "$metainfo")"
[ -n "$screenshots" ] || fail "no https screenshots"
for image in $screenshots; do
  [ -f "$source/$image" ] || fail "screenshot $image is not in the repository"
  grep -qF "($image)" "$source/README.md" || fail "screenshot $image is not one the README shows"
done
exit "$failed"
