#!/usr/bin/env bash
# Installs what is missing, builds, and starts the set-up wizard from the
# installation-medium layout in the build tree (build/medium/bin/quenlo-setup)
# inside the virtual LAN of scripts/vlan.sh: a pc with one simulated camera on
# its subnet and one on another subnet, so the whole installation can be
# walked without a real camera and without sending anything onto this
# machine's network. Needs root (network namespaces): run it as root, or
# through sudo.
#
# With a display ($DISPLAY, which sudo keeps) the wizard opens its window
# there; through sudo from a desktop session it runs as the calling user.
# Without one, tools/demo/quenlo-demo walks two installations on a virtual
# display of its own and leaves a screenshot of every page and summary.txt in
# demo-output/ at the top of the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ "$(id -u)" -ne 0 ]; then
  echo "demo.sh: needs root to build the virtual LAN (network namespaces); run it as root, for example: sudo scripts/demo.sh" >&2
  exit 1
fi
# vlan.sh runs the wizard as the user who called sudo, if any.
user=${SUDO_USER:-root}
if [ "$user" = root ]; then
  echo "demo.sh: started as root, not through sudo by another user: the wizard runs as root"
fi

# demo-output is handed to the user the wizard runs as. Whatever stands at
# that path must already be theirs: root never follows a link there, nor
# takes over a folder of someone else.
check_output_dir() {
  local dir=$1 owner
  if [ -L "$dir" ]; then
    echo "demo.sh: $dir is a symbolic link; remove it and run the demo again" >&2
    return 1
  fi
  [ -e "$dir" ] || return 0
  if [ ! -d "$dir" ]; then
    echo "demo.sh: $dir exists and is not a folder; remove it and run the demo again" >&2
    return 1
  fi
  owner=$(stat -c %u "$dir")
  if [ "$owner" != "$(id -u "$user")" ]; then
    echo "demo.sh: $dir belongs to user id $owner, not to $user; remove it and run the demo again" >&2
    return 1
  fi
}

out="$root/demo-output"
if [ -z "${DISPLAY:-}" ]; then
  check_output_dir "$out" || exit 1  # before the long build, and again before use
fi

"$root/scripts/install-deps.sh"
# Only what the demo runs: the wizard with its medium, the simulator and the
# walk without a display; the tests are not built.
BUILD_DIR="$build" "$root/scripts/build.sh" --target quenlo-setup tavo-camsim quenlo-demo
program="$build/medium/bin/quenlo-setup"
camsim="$build/tools/camsim/tavo-camsim"

if [ -z "${DISPLAY:-}" ]; then
  check_output_dir "$out" || exit 1
  mkdir -p "$out"
  rm -f "$out"/[0-9][0-9]-*.png "$out/summary.txt"
  # The wizard writes the screenshots, as the user it runs as. -h: should
  # the folder have been swapped for a link meanwhile, the link changes
  # hands, never what it points to.
  [ "$user" = root ] || chown -h "$user:" "$out"
  echo "No display (DISPLAY is not set): walking two installations on a virtual display instead;"
  echo "screenshots and summary.txt go to $out"
  status=0
  "$root/scripts/vlan.sh" --camsim "$camsim" -- "$build/tools/demo/quenlo-demo" \
    --medium "$build/medium" --out "$out" || status=$?
  if [ "$status" -eq 0 ]; then
    echo
    cat "$out/summary.txt"
  elif [ -f "$out/summary.txt" ]; then
    echo "demo.sh: the demo failed; the screenshots up to the failure and summary.txt are in $out" >&2
  fi
  exit "$status"
fi

echo "Starting $program on display $DISPLAY inside the virtual LAN"
if [ "$user" != root ]; then
  user_home=$(getent passwd "$user" | cut -d: -f6)
  export XAUTHORITY=${XAUTHORITY:-$user_home/.Xauthority}
fi
unset DBUS_SESSION_BUS_ADDRESS
exec "$root/scripts/vlan.sh" --camsim "$camsim" -- "$program"
