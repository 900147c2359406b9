#!/usr/bin/env bash
# Builds the Debian packages with cpack, checks what each holds and what quorvane depends on,
# runs the unpacked quorvane-cli on a sample photo and lintian on both packages (no error allowed;
# its warnings and remarks are printed). Exits 77 (skipped) without dpkg-deb or lintian.
# Usage: debian-packages.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
cpack="$1" build="$2" source="$3" version="$4"
for tool in dpkg-deb dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; exit 1; }

scratch="$build/packaging-test"
rm -rf "$scratch"
mkdir -p "$scratch"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
arch="$(dpkg --print-architecture)"
app="$scratch/out/quorvane_${version}_${arch}.deb"
dev="$scratch/out/libquorvane-dev_${version}_${arch}.deb"
[ -f "$app" ] && [ -f "$dev" ] || fail "expected $(basename "$app") and $(basename "$dev"), got: $(ls "$scratch/out")"

# The Depends that dpkg-shlibdeps found: the libraries the programs link, with versions.
depends="$(dpkg-deb -f "$app" Depends)"
for library in libc6 libstdc++6 libqt6widgets6 libturbojpeg0 libxml2; do
  [[ ", $depends" == *", $library ("* ]] || fail "quorvane does not depend on a version of $library: $depends"
done
[ "$(dpkg-deb -f "$dev" Section)" = libdevel ] || fail "libquorvane-dev is not in section libdevel"

# What each package holds; a file in both would make them impossible to install together.
dpkg-deb -c "$app" | awk '$1 !~ /^d/ {print $6}' | sort >"$scratch/app.files"
dpkg-deb -c "$dev" | awk '$1 !~ /^d/ {print $6}' | sort >"$scratch/dev.files"
shared="$(comm -12 "$scratch/app.files" "$scratch/dev.files" | grep -v '^./usr/share/doc/' || true)"
[ -z "$shared" ] || fail "files in both packages: $shared"
expect() {
  local list="$1"; shift
  for path in "$@"; do grep -qx "./usr/$path" "$scratch/$list.files" || fail "$list package lacks /usr/$path"; done
}
expect app bin/quorvane bin/quorvane-cli share/quorvane/MakerNotes.ini \
  share/applications/org.quorvane.Quorvane.desktop share/icons/hicolor/scalable/apps/quorvane.svg \
  share/icons/hicolor/256x256/apps/quorvane.png share/man/man1/quorvane.1.gz share/man/man1/quorvane-cli.1.gz \
  share/bash-completion/completions/quorvane share/bash-completion/completions/quorvane-cli \
  share/metainfo/org.quorvane.Quorvane.metainfo.xml share/doc/quorvane/copyright share/doc/quorvane/changelog.gz
expect dev include/zorp/exif/ExifData.h include/zorp/base/Streams.h lib/libzorp_exif.a lib/libzorp_base.a \
  lib/cmake/Quorvane/QuorvaneConfig.cmake lib/pkgconfig/quorvane.pc share/doc/libquorvane-dev/copyright
grep -q '^./usr/bin/' "$scratch/dev.files" && fail "libquorvane-dev holds programs"

# The unpacked programs run and find their data in ../share/quorvane.
dpkg-deb -x "$app" "$scratch/root"
cli="$scratch/root/usr/bin/quorvane-cli"
[ "$("$cli" --version)" = "quorvane-cli $version" ] || fail "unpacked quorvane-cli --version: $("$cli" --version)"
[ "$("$scratch/root/usr/bin/quorvane" --version)" = "quorvane $version" ] || fail "unpacked quorvane --version"
listing="$("$cli" list "$source/samples/canon-sunset.jpg")" || fail "unpacked quorvane-cli list exits $?"
grep -q '^Camera make:Canon' <<<"$listing" || fail "unpacked quorvane-cli list: no camera make in: $listing"
grep -q 'Unknown (\$' <<<"$listing" && fail "the unpacked quorvane-cli did not find MakerNotes.ini"

# lintian fails on errors only; everything it says is shown.
status=0
report="$(lintian --fail-on error --display-info --pedantic "$app" "$dev" 2>&1)" || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || fail "lintian exits $status"
echo "packages: $(basename "$app") $(basename "$dev"); Depends: $depends"
