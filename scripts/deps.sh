# The Debian packages the project builds and runs with; sourced by test.sh and run.sh.
MWST_PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  libsqlite3-dev libsodium-dev libpq-dev postgresql libzip-dev zipcmp zipmerge ziptool libpugixml-dev
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
)

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
