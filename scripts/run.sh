#!/usr/bin/env bash
# Sets up what is missing, builds in build/ and opens the viewer on samples/ (or on the folder or
# photo given). Without a display it saves a screenshot of the window into build/screenshots/ and
# prints the sample photos' lists instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$root/build"
viewer="$root/build/bin/quorvane"
[ $# -gt 0 ] || set -- "$root/samples"
if [ ! -x "$viewer" ]; then
  echo "The viewer was not built; here is what the command-line companion lists."
elif [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$viewer" "$@"
else
  echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
  mkdir -p "$root/build/screenshots"
  shot="$root/build/screenshots/quorvane.png"
  QT_QPA_PLATFORM=offscreen "$viewer" --screenshot "$shot" "$@"
  echo "A screenshot of the window on $* is in $shot"
fi
echo
shopt -s nullglob
photos=("$root"/samples/*.jpg)
if [ ${#photos[@]} -gt 0 ]; then
  echo "quorvane-cli list samples/*.jpg:"
  "$root/build/bin/quorvane-cli" list "${photos[@]}"
fi
