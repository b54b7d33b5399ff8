#!/usr/bin/env bash
# The Debian packages hold what each should, where Debian puts it, with control fields
# that dpkg-shlibdeps and dpkg-gencontrol filled in.
# Usage: debian_contents.sh PACKAGES_DIR VERSION
set -euo pipefail
debs=$1 version=$2
arch=$(dpkg --print-architecture) ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
failed=0
fail() { echo "debian_contents: $*" >&2; failed=1; }

# The files and links of each package (no folders), sorted.
declare -A expected=(
  [libplacaio1]="
./usr/lib/$ma/libplacaio.so.1
./usr/lib/$ma/libplacaio.so.1.0.0
./usr/lib/$ma/placaio/io.so"
  [libplacaio-dev]="
./usr/include/placaio.h
./usr/lib/$ma/libplacaio.so
./usr/lib/$ma/pkgconfig/placaio.pc
./usr/share/doc/libplacaio-dev/examples/piso.c"
  [placaio-tools]="
./usr/bin/placa
./usr/bin/placasim
./usr/lib/$ma/placaio/parport/io.so
./usr/lib/$ma/placaio/serial/io.so
./usr/share/man/man1/placa.1.gz
./usr/share/man/man1/placasim.1.gz
./usr/share/doc/placaio-tools/examples/piso.py
./usr/share/doc/placaio-tools/examples/teaching/floor2_stuck_con_memoria.txt
./usr/share/doc/placaio-tools/examples/teaching/floor2_stuck_sin_memoria.txt
./usr/share/doc/placaio-tools/examples/teaching/waveform.tcl
./usr/share/placaio/firmware/placaio_adaptor.hex
./usr/share/placaio/firmware/placaio_adaptor/adaptor.c
./usr/share/placaio/firmware/placaio_adaptor/pins.h
./usr/share/placaio/firmware/placaio_adaptor/placaio_adaptor.ino
./usr/share/placaio/firmware/placaio_adaptor/protocol.h"
  [elevmando]="
./usr/bin/elevmando
./usr/share/applications/elevmando.desktop
./usr/share/elevmando/ascensor1.bmp
./usr/share/elevmando/ascensor2.bmp
./usr/share/elevmando/ascensor3.bmp
./usr/share/icons/hicolor/scalable/apps/elevmando.svg
./usr/share/lintian/overrides/elevmando
./usr/share/man/man1/elevmando.1.gz"
)
# What each must depend on: the others by exact version, the system's libraries as
# dpkg-shlibdeps found them.
declare -A depends=(
  [libplacaio1]="libc6|libstdc++6"
  [libplacaio-dev]="libplacaio1 (= $version)"
  [placaio-tools]="libplacaio1 (= $version)|libc6|libfltk1.3"
  [elevmando]="libplacaio1 (= $version)|placaio-tools (= $version)|libsdl1.2debian|libfltk1.3|libx11-6"
)

for pkg in "${!expected[@]}"; do
  deb=$debs/${pkg}_${version}_$arch.deb
  [ -f "$deb" ] || { fail "no $deb"; continue; }
  files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
  want=$(printf '%s\n' ${expected[$pkg]} ./usr/share/doc/"$pkg"/changelog.gz ./usr/share/doc/"$pkg"/copyright | sort)
  [ "$files" = "$want" ] || fail "$pkg holds other files than expected:
$(diff <(echo "$want") <(echo "$files") | grep '^[<>]')"
  # Owned by root, readable by all; programs executable, nothing else.
  bad=$(dpkg-deb -c "$deb" | awk '$2 != "root/root" || ($1 !~ /^d/ && $1 !~ /^l/ && $1 != "-rw-r--r--" && !($1 == "-rwxr-xr-x" && $6 ~ /\/bin\//))')
  [ -z "$bad" ] || fail "$pkg: wrong owner or mode: $bad"

  for field in Package Version Architecture Maintainer Installed-Size Description; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "$pkg has no $field field"
  done
  [ "$(dpkg-deb -f "$deb" Package)" = "$pkg" ] || fail "$pkg: Package is $(dpkg-deb -f "$deb" Package)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$pkg: Version is $(dpkg-deb -f "$deb" Version)"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$pkg: Architecture is $(dpkg-deb -f "$deb" Architecture)"
  got=$(dpkg-deb -f "$deb" Depends)
  IFS='|' read -r -a needs <<<"${depends[$pkg]}"
  mapfile -t items < <(sed 's/, */\n/g' <<<"$got")
  for need in "${needs[@]}"; do
    found=0
    for item in "${items[@]}"; do
      # A bare name: that package, with any version.
      if [ "$item" = "$need" ] || { [[ $need != *'('* ]] && [ "${item%% (*}" = "$need" ]; }; then
        found=1
      fi
    done
    [ "$found" = 1 ] || fail "$pkg does not depend on $need: $got"
  done
done

lib=$debs/libplacaio1_${version}_$arch.deb
for f in Multi-Arch:same Section:libs; do
  [ "$(dpkg-deb -f "$lib" "${f%%:*}")" = "${f#*:}" ] || fail "libplacaio1: ${f%%:*} is not ${f#*:}"
done
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$lib" "$control"
grep -qx "libplacaio 1 libplacaio1 (>= $version)" "$control/shlibs" || fail "libplacaio1: shlibs is $(cat "$control/shlibs" 2>/dev/null)"
grep -qx "activate-noawait ldconfig" "$control/triggers" || fail "libplacaio1 does not trigger ldconfig"

[ "$failed" = 0 ] && echo "debian_contents: ${#expected[@]} packages as expected"
exit "$failed"
