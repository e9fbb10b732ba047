# The Debian packages the project builds and runs with; sourced by test.sh and run.sh.
MWST_PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  libsqlite3-dev libsodium-dev libpq-dev postgresql libzip-dev zlib1g-dev zipcmp zipmerge ziptool libpugixml-dev
  qt6-base-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth
  locales
  desktop-file-utils appstream
  libreoffice-calc-nogui
)

# Locales the tests of number texts run under: de_DE and fr_FR write numbers
# with a decimal comma (de_CH with a point). A test finding none skips, saying so.
# de_CH and fr_CH also give the dates in Qt's file dialogs in the program's culture.
MWST_LOCALES=(de_CH.UTF-8 fr_CH.UTF-8 de_DE.UTF-8 fr_FR.UTF-8)

mwst_missing_packages() {
  local missing=()
  for p in "${MWST_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

mwst_install_deps() {
  local missing
  missing=$(mwst_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    exit 1
  fi
  echo "Installing: $missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# "de_DE.UTF-8" is listed by `locale -a` as "de_DE.utf8".
mwst_missing_locales() {
  local have missing=() l
  have=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | sed 's/utf-8$/utf8/')
  for l in "${MWST_LOCALES[@]}"; do
    grep -qxF "$(echo "$l" | tr '[:upper:]' '[:lower:]' | sed 's/utf-8$/utf8/')" <<<"$have" || missing+=("$l")
  done
  echo "${missing[@]:-}"
}

mwst_generate_locales() {
  local missing l
  missing=$(mwst_missing_locales)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Locales missing (the decimal-comma tests will be skipped). Generate them with:" >&2
    for l in $missing; do echo "  sudo localedef -i ${l%%.*} -f UTF-8 $l" >&2; done
    return 0
  fi
  echo "Generating locales: $missing"
  for l in $missing; do
    localedef -i "${l%%.*}" -f UTF-8 "$l" || echo "Could not generate $l" >&2
  done
}
