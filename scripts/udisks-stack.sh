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

# Starts a daemon that owns a name on the system bus and waits until it has taken it.
start_on_bus() {  # label program bus-name package pid-name
  local label=$1 program=$2 name=$3 package=$4 pidname=$5
  [ -x "$program" ] || fail "$label is not installed (Debian package $package)"
  if busctl --system status "$name" >/dev/null 2>&1; then
    say "$label: already running"; return 0
  fi
  "$program" --no-debug >"$state/$pidname.log" 2>&1 &
  echo $! >"$state/$pidname.pid"
  for _ in $(seq 100); do
    busctl --system status "$name" >/dev/null 2>&1 && { say "$label: started"; return 0; }
    sleep 0.2
  done
  fail "$label did not come onto the system bus (see $state/$pidname.log)"
}

start_polkit() { start_on_bus polkit /usr/lib/polkit-1/polkitd org.freedesktop.PolicyKit1 polkitd polkitd; }
start_udisks() { start_on_bus udisks2 /usr/libexec/udisks2/udisksd org.freedesktop.UDisks2 udisks2 udisksd; }

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
