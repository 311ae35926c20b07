#!/usr/bin/env bash
# Starts the system services that open block devices for desktop users, on a machine
# without systemd (a container, CI): the system bus, udev (udisksd sees no block
# devices without its database), polkit and udisks2. Each one already running is left
# as it is. `scripts/udisks-stack.sh stop` ends the ones this script started.
#
# Prints one line per service; exit status 1 (with the reason) when the stack cannot
# run here, so callers can skip visibly.
set -uo pipefail
state=/run/orbelle-udisks-stack
mkdir -p "$state"

say() { echo "udisks-stack: $*"; }
fail() { say "$*"; exit 1; }

running() { pgrep -x "$1" >/dev/null 2>&1; }

start_bus() {
  if [ -S /run/dbus/system_bus_socket ] && busctl --system status >/dev/null 2>&1; then
    say "system bus: already running"; return 0
  fi
  command -v dbus-daemon >/dev/null || fail "dbus-daemon is not installed"
  mkdir -p /run/dbus
  rm -f /run/dbus/system_bus_socket /run/dbus/pid
  dbus-daemon --system --fork --print-pid >"$state/dbus.pid" || fail "dbus-daemon --system did not start"
  say "system bus: started"
}

start_udev() {
  local udevd=/lib/systemd/systemd-udevd
  [ -x "$udevd" ] || fail "systemd-udevd is not installed (Debian package udev)"
  if ! running systemd-udevd; then
    "$udevd" --daemon || fail "systemd-udevd --daemon did not start"
    pgrep -x systemd-udevd >"$state/udevd.pid"
    say "udev: started"
  else
    say "udev: already running"
  fi
  udevadm trigger --action=add --subsystem-match=block
  udevadm settle --timeout=30 || say "udev: settle timed out"
}

start_polkit() {
  local polkitd=/usr/lib/polkit-1/polkitd
  [ -x "$polkitd" ] || fail "polkitd is not installed (Debian package polkitd)"
  if busctl --system status org.freedesktop.PolicyKit1 >/dev/null 2>&1; then
    say "polkit: already running"; return 0
  fi
  "$polkitd" --no-debug >"$state/polkitd.log" 2>&1 &
  echo $! >"$state/polkitd.pid"
  for _ in $(seq 50); do
    busctl --system status org.freedesktop.PolicyKit1 >/dev/null 2>&1 && { say "polkit: started"; return 0; }
    sleep 0.2
  done
  fail "polkitd did not come onto the system bus (see $state/polkitd.log)"
}

start_udisks() {
  local udisksd=/usr/libexec/udisks2/udisksd
  [ -x "$udisksd" ] || fail "udisksd is not installed (Debian package udisks2)"
  if busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1; then
    say "udisks2: already running"; return 0
  fi
  "$udisksd" --no-debug >"$state/udisksd.log" 2>&1 &
  echo $! >"$state/udisksd.pid"
  for _ in $(seq 100); do
    busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1 && { say "udisks2: started"; return 0; }
    sleep 0.2
  done
  fail "udisksd did not come onto the system bus (see $state/udisksd.log)"
}

stop() {
  for name in udisksd polkitd udevd dbus; do
    [ -f "$state/$name.pid" ] || continue
    kill "$(cat "$state/$name.pid")" 2>/dev/null && say "$name: stopped"
    rm -f "$state/$name.pid"
  done
}

case "${1:-start}" in
  start)
    [ "$(id -u)" -eq 0 ] || fail "needs root to start system services"
    start_bus && start_udev && start_polkit && start_udisks ;;
  stop) stop ;;
  *) fail "usage: $0 [start|stop]" ;;
esac
