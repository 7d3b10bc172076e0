#!/usr/bin/env bash
# Builds the Debian package (reusing build/), runs lintian on it (errors fail),
# unpacks it with dpkg-deb -x and starts both programs from it offscreen on an
# empty home: Tallowmere must reach its first-start dialog and Brisco its window,
# both on ~/Fenwary. Pictures of both windows go to build/package/check/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

FENWARY_PACKAGES="$FENWARY_PACKAGES lintian dpkg-dev file"
install_packages

deb="$("$here/package.sh" | tail -n 1)"
echo "package: $deb ($(stat -c %s "$deb") bytes)"
lintian --fail-on error "$deb"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
shots="$FENWARY_ROOT/build/package/check"
mkdir -p "$shots" "$tmp/home"

fail() { echo "package check: $*" >&2; exit 1; }

# The menu entries start programs that the package holds.
for entry in fenwary fenwary-backup; do
  file="$tmp/root/usr/share/applications/$entry.desktop"
  [ -f "$file" ] || fail "$entry.desktop missing"
  exe="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$file")"
  [ -x "$tmp/root/usr/bin/$exe" ] || fail "$entry.desktop starts $exe, which the package does not hold"
done

# Starts a packaged program on the empty home; prints what its first window shows.
first_window() {
  env -u FENWARY_HOME HOME="$tmp/home" QT_QPA_PLATFORM=offscreen \
    FENWARY_FIRST_WINDOW="$shots/$1.png" timeout 60 "$tmp/root/usr/bin/$1" 2>/dev/null
}

expect() {  # program, key=value expected in its output
  local out
  out="$(first_window "$1")" || fail "$1 did not show a window (exit $?): $out"
  echo "$out" | grep -qxF "$2" || fail "$1: expected '$2', got: $out"
  echo "$out" | grep -qxF "folder=$tmp/home/Fenwary" || fail "$1 does not use ~/Fenwary: $out"
  echo "$1: $(echo "$out" | grep '^title=')"
}
expect Tallowmere "window=FirstStartDialog"
[ -d "$tmp/home/Fenwary" ] || fail "Tallowmere did not make ~/Fenwary"
[ ! -e "$tmp/home/Fenwary/data.dat" ] || fail "the first start made data.dat without being asked"
expect Brisco "window=back_data"
echo "package check passed; pictures in $shots"
