#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it under a scratch root
# with dpkg -x and runs the installed programs from there: --version, the demo
# mandates (template sets from the installed data folder) and a conversion.
# Runs lintian on the package where it is installed and fails on its errors.
# Usage: scripts/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-${MWST_BUILD_DIR:-build}}" && pwd)

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

echo "package test: cpack -G DEB"
(cd "$BUILD" && cpack -G DEB -B "$SCRATCH/out" >"$SCRATCH/cpack.log" 2>&1) || { cat "$SCRATCH/cpack.log" >&2; exit 1; }
DEB=$(ls "$SCRATCH"/out/mwst-konvertierung_*.deb)
echo "package test: $(basename "$DEB")"
dpkg-deb --field "$DEB" Package Version Depends | sed 's/^/  /'

ROOT="$SCRATCH/root"
dpkg -x "$DEB" "$ROOT"
for f in usr/bin/mwst-konvertierung usr/bin/mwst-batch usr/bin/mwst-mandant usr/bin/mwst-vts \
         usr/lib/mwst-konvertierung/libholdwatch.so \
         usr/share/mwst-konvertierung/mwst/MWST2024eff.vts usr/share/mwst-konvertierung/mwst/Mwst2018pau.lst \
         usr/share/applications/ch.velmora_orvid.MwstKonvertierung.desktop \
         usr/share/metainfo/ch.velmora_orvid.MwstKonvertierung.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/mwst-konvertierung.svg \
         usr/share/icons/hicolor/48x48/apps/mwst-konvertierung.png \
         usr/share/man/man1/mwst-batch.1.gz usr/share/man/man1/mwst-mandant.1.gz \
         usr/share/doc/mwst-konvertierung/copyright usr/share/doc/mwst-konvertierung/changelog.gz; do
  [ -e "$ROOT/$f" ] || { echo "package test: $f missing from the package" >&2; exit 1; }
done
# Nothing of the build tree's layout: no template folder beside the programs.
[ ! -e "$ROOT/usr/bin/mwst" ] || { echo "package test: usr/bin/mwst should not be packaged" >&2; exit 1; }

BIN="$ROOT/usr/bin"
for p in mwst-batch mwst-mandant mwst-vts mwst-konvertierung; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/$p" --version
done

# The demo mandates take their 2018 forms from the installed data folder.
export MWST_SETTINGS="$SCRATCH/brisol.ini"
printf '[Culture]\nUICulture=de-CH\n' >"$MWST_SETTINGS"
"$BIN/mwst-mandant" demo "$SCRATCH/demo" >/dev/null
M="$SCRATCH/demo/baeckerei-mueller"
"$BIN/mwst-vts" dump "$M/MWSTFORM.VTS" | grep -q 'name VERSION "2018"'
"$BIN/mwst-batch" insert-keys --yes "$M" >"$SCRATCH/log1"
"$BIN/mwst-batch" adapt-accounts --yes "$M" >"$SCRATCH/log2"
"$BIN/mwst-batch" form-2024 --yes "$M" >"$SCRATCH/log3"
"$BIN/mwst-vts" dump "$M/MWSTFORM.VTS" | grep -q 'name VERSION "2024"' ||
  { echo "package test: the 2024 form was not activated" >&2; cat "$SCRATCH/log3" >&2; exit 1; }
echo "package test: demo mandate converted from the unpacked package"

if command -v lintian >/dev/null; then
  # Errors fail the test; warnings are shown.
  lintian --no-tag-display-limit "$DEB" | tee "$SCRATCH/lintian.log" || true
  if grep -q '^E:' "$SCRATCH/lintian.log"; then
    echo "package test: lintian reports errors" >&2
    exit 1
  fi
else
  echo "package test: lintian not installed, not run (Debian: lintian)"
fi
echo "package test: passed"
