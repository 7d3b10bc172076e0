# Shared by run.sh and test.sh: installs the Debian 12 packages the build needs.
# Runs apt-get directly as root, through sudo otherwise; installs only what is missing.

FENWARY_PACKAGES="qt6-base-dev qt6-translations-l10n libsqlcipher-dev sqlcipher fonts-noto-cjk cmake g++ pkg-config libgl-dev xvfb xauth poppler-utils libxlsxwriter-dev python3-openpyxl qt6-charts-dev libqt6opengl6-dev libminizip-dev libpq-dev libsodium-dev"
FENWARY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

install_packages() {
  local missing=()
  local p
  for p in $FENWARY_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

configure() {
  cmake -S "$FENWARY_ROOT" -B "$FENWARY_ROOT/build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build_jobs() {
  nproc 2>/dev/null || echo 2
}
