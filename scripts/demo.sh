#!/usr/bin/env bash
# Installs what is missing, builds, and starts the set-up wizard from the
# installation-medium layout in the build tree (build/medium/bin/quenlo-setup).
# Needs a display: the one in $DISPLAY (sudo keeps it). When run through sudo
# from a desktop session, the wizard runs as the calling user.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR="$build" "$root/scripts/build.sh"
program="$build/medium/bin/quenlo-setup"

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<MSG
Built $program, but there is no display to show it on (DISPLAY is not set).
Run this command from a terminal inside your desktop session, for example:
  sudo scripts/demo.sh
or start the wizard on a virtual display and look at it with a VNC viewer or
screenshots, for example:
  Xvfb :99 -screen 0 1024x768x24 & DISPLAY=:99 $program
MSG
  exit 1
fi

echo "Starting $program on display $DISPLAY"
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  user_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
  xauth=${XAUTHORITY:-$user_home/.Xauthority}
  exec sudo -u "$SUDO_USER" env -u DBUS_SESSION_BUS_ADDRESS HOME="$user_home" \
    DISPLAY="$DISPLAY" XAUTHORITY="$xauth" "$program"
fi
unset DBUS_SESSION_BUS_ADDRESS
exec "$program"
