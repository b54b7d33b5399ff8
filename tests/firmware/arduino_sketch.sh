#!/usr/bin/env bash
# Builds the firmware's folder the way the Arduino IDE builds a sketch for a Uno (the
# .ino made C++ under Arduino.h, every file of the core archived and linked after the
# sketch, with the IDE's flags from the core's platform.txt), and checks that the
# firmware's own main and serial interrupt are what the chip runs.
# Usage: arduino_sketch.sh SKETCH_DIR WORK_DIR
set -euo pipefail
sketch=$1 work=$2
hardware=/usr/share/arduino/hardware/arduino/avr
if [ ! -f "$hardware/platform.txt" ]; then
  echo "skipped: Debian's arduino-core-avr is not installed (scripts/setup installs it)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/core"
name=$(basename "$sketch")
# Debian's core needs this with Debian's gcc-avr.
common=(-mmcu=atmega328p -DF_CPU=16000000L -DARDUINO=10819 -DARDUINO_AVR_UNO -DARDUINO_ARCH_AVR
        -DDECIMAL_DIG=__DECIMAL_DIG__ -I"$hardware/cores/arduino" -I"$hardware/variants/standard")
cflags=(-c -g -Os -w -std=gnu11 -ffunction-sections -fdata-sections -flto -fno-fat-lto-objects)
cxxflags=(-c -g -Os -w -std=gnu++11 -fpermissive -fno-exceptions -ffunction-sections -fdata-sections
          -fno-threadsafe-statics -flto)

for f in "$hardware"/cores/arduino/*.c "$hardware"/cores/arduino/*.cpp "$hardware"/cores/arduino/*.S; do
  o=$work/core/$(basename "$f").o
  case $f in
    *.c) avr-gcc "${cflags[@]}" "${common[@]}" "$f" -o "$o" ;;
    *.cpp) avr-g++ "${cxxflags[@]}" "${common[@]}" "$f" -o "$o" ;;
    *.S) avr-gcc -c -g -x assembler-with-cpp -flto "${common[@]}" "$f" -o "$o" ;;
  esac
done
avr-gcc-ar rcs "$work/core.a" "$work"/core/*.o

objects=()
{ echo '#include <Arduino.h>'; echo "#line 1 \"$name.ino\""; cat "$sketch/$name.ino"; } > "$work/$name.ino.cpp"
avr-g++ "${cxxflags[@]}" "${common[@]}" -I"$sketch" "$work/$name.ino.cpp" -o "$work/$name.ino.cpp.o"
objects+=("$work/$name.ino.cpp.o")
for f in "$sketch"/*.c; do
  avr-gcc "${cflags[@]}" "${common[@]}" -I"$sketch" "$f" -o "$work/$(basename "$f").o"
  objects+=("$work/$(basename "$f").o")
done
avr-gcc -w -Os -g -flto -fuse-linker-plugin -Wl,--gc-sections -mmcu=atmega328p \
  -o "$work/$name.elf" "${objects[@]}" "$work/core.a" -L"$work" -lm

fail() { echo "FAIL: $*"; exit 1; }
symbols=$(avr-nm "$work/$name.elf")
grep -q ' T main$' <<<"$symbols" || fail "no main in the sketch's build"
# The core's main would call setup() and loop(), and its serial port has its own
# receive interrupt: neither may be linked in.
! grep -qE ' (setup|loop|_Z5setupv|_Z4loopv)$' <<<"$symbols" || fail "the core's main was linked"
! grep -q 'Serial' <<<"$symbols" || fail "the core's serial port was linked"
grep -q ' T __vector_18$' <<<"$symbols" || fail "the serial receive interrupt (vector 18) is not the firmware's"
# What a Uno's bootloader leaves for a sketch.
size=$(avr-size -A "$work/$name.elf" | awk '$1 == ".text" || $1 == ".data" { s += $2 } END { print s }')
[ "$size" -le 32256 ] || fail "$size bytes do not fit a Uno"
echo "the sketch builds as the IDE builds it: $size bytes of flash"
