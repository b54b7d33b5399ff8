#!/usr/bin/env bash
# Every ELF file the build made: each run-path entry is absolute or starts at $ORIGIN.
# An empty entry, or a relative one, makes the loader search the working directory,
# so a program started elsewhere could load an io.so that happens to lie there.
# Usage: check_run_paths.sh BUILD_DIR
set -uo pipefail
build=$1
fail=0 files=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" 2>/dev/null)" = $'\x7fELF' ] || continue
  files=$((files + 1))
  dynamic=$(readelf -d "$file" 2>/dev/null)
  while IFS= read -r list; do
    IFS=: read -r -a entries <<<"$list"
    # read drops a last empty field: count the separators instead.
    [ "${list: -1}" = ":" ] && entries+=("")
    for entry in "${entries[@]}"; do
      case $entry in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) echo "FAIL ${file#"$build"/}: run path '$list' has the entry '$entry'"; fail=1 ;;
      esac
    done
  done < <(sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
done < <(find "$build" -path "$build/CMakeFiles" -prune -o -type f \
           \( -perm -u+x -o -name '*.so' -o -name '*.so.*' \) -print0)
[ "$files" -gt 0 ] || { echo "FAIL no built files in $build"; exit 1; }
[ "$fail" -eq 0 ] && echo "ok: the run paths of $files built files"
exit $fail
