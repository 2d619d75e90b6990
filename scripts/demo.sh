#!/usr/bin/env bash
# Installs what is missing, builds, and starts the set-up wizard from the
# installation-medium layout in the build tree (build/medium/bin/quenlo-setup)
# inside the virtual LAN of scripts/vlan.sh: a pc with one simulated camera on
# its subnet and one on another subnet, so the whole installation can be
# walked without a real camera and without sending anything onto this
# machine's network. Needs root (network namespaces) and a display: the one in
# $DISPLAY (sudo keeps it). When run through sudo from a desktop session, the
# wizard runs as the calling user.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ "$(id -u)" -ne 0 ]; then
  echo "demo.sh: needs root to build the virtual LAN (network namespaces); run: sudo scripts/demo.sh" >&2
  exit 1
fi
"$root/scripts/install-deps.sh"
BUILD_DIR="$build" "$root/scripts/build.sh"
program="$build/medium/bin/quenlo-setup"
camsim="$build/tools/camsim/tavo-camsim"

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<MSG
Built $program, but there is no display to show it on (DISPLAY is not set).
Run this command from a terminal inside your desktop session, for example:
  sudo scripts/demo.sh
or start the wizard on a virtual display and look at it with a VNC viewer or
screenshots, for example:
  Xvfb :99 -screen 0 1024x768x24 &
  sudo DISPLAY=:99 scripts/vlan.sh --camsim $camsim -- $program
MSG
  exit 1
fi

echo "Starting $program on display $DISPLAY inside the virtual LAN"
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  user_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
  export XAUTHORITY=${XAUTHORITY:-$user_home/.Xauthority}
fi
unset DBUS_SESSION_BUS_ADDRESS
exec "$root/scripts/vlan.sh" --camsim "$camsim" -- "$program"
