#!/usr/bin/env bash
# scripts/run installs and builds only what running needs; the full setup (the test
# command's) still has the test and Windows tools.
#   run_command_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1 build=$2
fail() { echo "run_command_test: $*" >&2; exit 1; }

plan=$("$src/scripts/run" --dry-run) || fail "scripts/run --dry-run failed"
packages=$(sed -n 's/^packages: //p' <<<"$plan")
targets=$(sed -n 's/^build: .* targets: //p' <<<"$plan")
[ -n "$packages" ] && [ -n "$targets" ] || fail "no plan in: $plan"
for needed in cmake g++ ninja-build libsdl1.2-dev libfltk1.3-dev libxtst-dev; do
  grep -qw -- "$needed" <<<"$packages" || fail "running needs $needed: $packages"
done
for p in $packages; do
  case $p in
    *wine*|*mingw*|*gtest*|*gmock*|*benchmark*|xvfb|xdotool|imagemagick) fail "running does not need $p" ;;
  esac
done
[ "$targets" = "elevmando placasim sim_io" ] || fail "builds $targets"
for t in $targets; do
  ninja -C "$build" -t query "$t" >/dev/null 2>&1 || fail "no build target $t in $build"
done

all=$("$src/scripts/setup" --list | tr '\n' ' ')
for needed in $packages wine32:i386 g++-mingw-w64-i686 libgtest-dev xvfb; do
  grep -qw -- "$needed" <<<"$all" || fail "the full setup lacks $needed"
done
echo "run_command_test: scripts/run installs $packages and builds $targets"
