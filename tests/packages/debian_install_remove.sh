#!/usr/bin/env bash
# The Debian packages install together into a throw-away root with its own dpkg
# database (no two claim one file), and removing them leaves no file behind. The
# system's libraries are not in that root, hence --force-depends.
# Usage: debian_install_remove.sh PACKAGES_DIR
set -euo pipefail
debs=$1
fail() { echo "debian_install_remove: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root log=$work/log
db=$root/var/lib/dpkg
mkdir -p "$db/updates" "$db/info"
touch "$db/status"
dpkg_() { dpkg --root="$root" --admindir="$db" --force-depends --force-script-chrootless "$@"; }

mapfile -t packages < <(for deb in "$debs"/*.deb; do dpkg-deb -f "$deb" Package; done)
[ ${#packages[@]} -gt 0 ] || fail "no packages in $debs"
dpkg_ -i "$debs"/*.deb >"$log" 2>&1 || fail "dpkg -i failed: $(cat "$log")"
for pkg in "${packages[@]}"; do
  [ "$(dpkg_ -s "$pkg" | sed -n 's/^Status: //p')" = "install ok installed" ] ||
    fail "$pkg is not installed: $(cat "$log")"
done
dpkg_ -r "${packages[@]}" >"$log" 2>&1 || fail "dpkg -r failed: $(cat "$log")"
left=$(find "$root" -path "$root/var/lib/dpkg" -prune -o ! -type d -print)
[ -z "$left" ] || fail "left behind after removal: $left"
echo "debian_install_remove: ${packages[*]} installed and removed"
