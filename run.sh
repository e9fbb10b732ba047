#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo mandates and starts the program on them.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
mwst_install_deps
mwst_generate_locales

BUILD=${MWST_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target mwst-konvertierung mwst-mandant mwst-vts

DEMO="$PWD/demo"
if [ ! -d "$DEMO/mandanten" ]; then
  mkdir -p "$DEMO"
  "$BUILD/bin/mwst-mandant" demo "$DEMO/mandanten"
fi

# The program's settings for the demo: search root and templates beside the program.
export MWST_SETTINGS="$DEMO/brisol.ini"
if [ ! -f "$MWST_SETTINGS" ]; then
  cat > "$MWST_SETTINGS" <<INI
[Culture]
UICulture=${MWST_CULTURE:-de-CH}
[Company]
Name=Velmora Orvid
[initial]
mandant=$DEMO/mandanten
[Vorlagen]
verzeichnis=$PWD/$BUILD/bin/mwst
INI
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display available. To run the program under a virtual display:" >&2
  echo "  MWST_SETTINGS=$MWST_SETTINGS xvfb-run -a $PWD/$BUILD/bin/mwst-konvertierung" >&2
  exit 1
fi
exec "$BUILD/bin/mwst-konvertierung"
