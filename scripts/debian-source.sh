# Sourced by the scripts that cross-build a library from Debian's own source package.
# debian_source PACKAGE DIR fetches PACKAGE's newest source into DIR with Debian's
# patches applied and sets $tree to the unpacked tree. The caller defines say and fail.
# Needs network access to the machine's apt sources.

own_list=/etc/apt/sources.list.d/placaio-deb-src

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

has_deb_src_entry() {
  shopt -s nullglob
  local f found=1
  for f in /etc/apt/sources.list.d/*.sources; do
    grep -Eq '^Types:.*[[:space:]]deb-src([[:space:]]|$)' "$f" && found=0
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" && found=0
  done
  shopt -u nullglob
  return $found
}

# Source entries mirror the machine's own binary entries, so the source comes from
# wherever this machine already gets its packages.
derive_deb_src() {
  local deb822 oneline
  shopt -s nullglob
  local files=(/etc/apt/sources.list.d/*.sources)
  local lists=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
  shopt -u nullglob
  deb822=$(for f in "${files[@]}"; do
    [ "$f" = "$own_list.sources" ] && continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
      {
        n = split($0, line, "\n"); out = ""; keep = 0
        for (i = 1; i <= n; i++) {
          if (line[i] ~ /^Types:/) {
            m = split(substr(line[i], 7), t, /[ \t]+/); has_deb = 0; has_src = 0
            for (j = 1; j <= m; j++) { if (t[j] == "deb") has_deb = 1; if (t[j] == "deb-src") has_src = 1 }
            if (has_src || !has_deb) { keep = 0; break }
            keep = 1; line[i] = "Types: deb-src"
          }
          out = out line[i] "\n"
        }
        if (keep) printf "%s\n", out
      }' "$f"
  done)
  oneline=$(for f in "${lists[@]}"; do
    [ -f "$f" ] && [ "$f" != "$own_list.list" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f"
  done)
  [ -n "$deb822$oneline" ] || fail "no 'deb' entries in the apt configuration to derive sources from"
  if [ -n "$deb822" ]; then
    printf '# Source entries derived from this machine'\''s own entries by the project'\''s scripts.\n\n%s\n' \
      "$deb822" | sudo_ tee "$own_list.sources" >/dev/null
  fi
  if [ -n "$oneline" ]; then
    printf '# Source entries derived from this machine'\''s own entries by the project'\''s scripts.\n%s\n' \
      "$oneline" | sudo_ tee "$own_list.list" >/dev/null
  fi
}

# A tree whose series is not wholly applied (an interrupted unpack) is fetched again.
patched() {
  [ -f "$1/debian/patches/series" ] && [ -f "$1/.pc/applied-patches" ] &&
    cmp -s <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' "$1/debian/patches/series") "$1/.pc/applied-patches"
}

debian_source() {  # package, directory
  local package=$1 src_dir=$2 version upstream
  have_source() { apt-cache showsrc "$package" 2>/dev/null | grep -q "^Package: $package\$"; }
  if ! have_source; then
    if ! has_deb_src_entry; then
      say "adding deb-src entries derived from the apt configuration"
      derive_deb_src
    fi
    sudo_ apt-get update -qq
    have_source || fail "apt knows no source package $package even with deb-src entries"
  fi
  newest() {
    version=$(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -V | tail -n1)
    upstream=${version#*:}; upstream=${upstream%-*}
    tree=$src_dir/$package-$upstream
  }
  newest
  patched "$tree" && return 0
  say "fetching Debian source $package $version"
  rm -rf "$src_dir" && mkdir -p "$src_dir"
  # As root, apt would otherwise warn that its sandbox user cannot write here.
  local sandbox=(); [ "$(id -u)" -eq 0 ] && sandbox=(-o APT::Sandbox::User=root)
  # dpkg-source applies Debian's patch series.
  fetch() { (cd "$src_dir" && apt-get source -qq "${sandbox[@]}" "$package=$version" >/dev/null); }
  # Stale package lists may name a version the archive no longer has: refresh once.
  if ! fetch; then
    sudo_ apt-get update -qq
    newest
    rm -rf "$src_dir" && mkdir -p "$src_dir"
    fetch || fail "apt-get source $package=$version failed"
  fi
  patched "$tree" || fail "apt-get source did not leave a patched tree in $tree"
}
