#!/bin/busybox sh
# The virtual machine's init: loads the parallel-port modules step by step and drives
# the project's io.so, libplacaio.so and placa through each, then prints the verdict.
/bin/busybox --install -s /bin
export PATH=/bin LD_LIBRARY_PATH=/b/drivers/parport
mount -t devtmpfs dev /dev
mount -t proc proc /proc
mount -t sysfs sys /sys
mkdir -p /tmp
exec >/dev/console 2>&1

probe=/b/bin/vm_probe
user=1000:1000      # not root, not in group lp
lp_user=1000:1000:7 # not root, in group lp (7)
log=/tmp/checks
step() { echo "# $*" | tee -a $log; }
# Runs a probe; its checks go to the log, and so does a probe that could not run.
run() {
  "$@" >/tmp/run.out 2>&1; rc=$?
  tee -a $log </tmp/run.out
  [ $rc -le 1 ] || echo "not ok - $* ended with $rc" | tee -a $log
}
expect() { run $probe expect "$@"; }
# A command as a check: "ok - NAME" when it ends with 0 and its output holds TEXT.
command_check() {  # name text command...
  name=$1 text=$2; shift 2
  out=$("$@" 2>&1); rc=$?
  echo "$out" | sed 's/^/  | /'
  if [ $rc -eq 0 ] && echo "$out" | grep -qF -- "$text"; then result="ok - $name"
  else result="not ok - $name (exit $rc)"; fi
  echo "$result" | tee -a $log
}

step "no parallel-port module: raw I/O at 0x378"
run $probe exercise raw RAW-NO-MODULE
expect 0x378 0xff 0xa5       # the data byte reached 0x378
expect 0x37a 0x3f 0x0f       # control bits 4 and 5 written as 0
run $probe poke 0x37a 0x07
run $probe in 889 >/dev/null
expect 0x37a 0x0f 0x07       # no claim: a program that only reads leaves the control lines
run $probe --as $user refused "raw port I/O at 0x378 needs root" "ppdev and membership of group lp"

step "parport_pc only: raw I/O at the bases from /proc (two ports, 0x278 numbered first)"
insmod /mod/parport.ko
insmod /mod/parport_pc.ko
grep . /proc/sys/dev/parport/parport*/base-addr
run $probe exercise raw RAW-PARPORT-PC
expect 0x378 0xff 0xa5
run $probe out 632 0x27
expect 0x278 0xff 0x27
run $probe --as $user refused "needs root"
insmod /mod/lp.ko
run $probe refused "the kernel driver lp holds it"
rmmod lp

step "ppdev: the device opened and claimed, 888 reaches the port at 0x378 (parport1)"
insmod /mod/ppdev.ko
ls -l /dev/parport*
run $probe exercise "ppdev /dev/parport1" PPDEV
expect 0x378 0xff 0xa5
expect 0x37a 0x3f 0x1f       # bit 5 clear; bit 4 set by the kernel's claim, kept after the end
run $probe out 632 0x72
expect 0x278 0xff 0x72
run $probe poke 0x37a 0x07
run $probe in 889 >/dev/null
expect 0x37a 0x1f 0x1c       # the claim rewrites the control register to 0x0c, interrupt bit on

step "ppdev: users who are not root"
run $probe --as $user refused "only its owner may open" "udev" "chmod 660 /dev/parport1" "needs root"
chgrp 7 /dev/parport1 && chmod 660 /dev/parport1
run $probe --as $user refused "member of group \"lp\""
run $probe --as $lp_user exercise "ppdev /dev/parport1" PPDEV-LP-GROUP

step "ppdev: the port held by another program, then by lp"
rm -f /tmp/held
$probe hold /tmp/held &
holder=$!
tries=0
while [ ! -e /tmp/held ] && [ $tries -lt 1000 ]; do usleep 10000; tries=$((tries + 1)); done
run $probe refused "cannot claim /dev/parport1" "another program"
kill $holder
wait $holder 2>/dev/null
insmod /mod/lp.ko
run $probe refused "cannot claim /dev/parport1" "the kernel driver lp holds it"
rmmod lp

step "placa through libplacaio.so and ppdev"
command_check "placa salida 0x55" "outputs: 85" /b/bin/placa salida 0x55
expect 0x378 0xff 0x55
expect 0x37a 0x0f 0x07
command_check "placa estado" "outputs: 0 (0x00" /b/bin/placa estado
command_check "placa entradas" "inputs:" /b/bin/placa entradas

failed=$(grep -c '^not ok' $log)
passed=$(grep -c '^ok' $log)
if [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]; then
  echo "VM-VERDICT: pass ($passed checks)"
else
  echo "VM-VERDICT: FAIL ($failed of $((passed + failed)) checks failed)"
  grep '^not ok' $log
fi
poweroff -f
