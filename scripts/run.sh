#!/usr/bin/env bash
# Sets up what is missing, builds in build/ and starts the viewer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$root/build"
if [ -x "$root/build/bin/quorvane" ]; then
  exec "$root/build/bin/quorvane" "$@"
fi
echo "The viewer is not built yet. The command-line companion is: $root/build/bin/quorvane-cli"
