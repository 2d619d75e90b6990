#!/usr/bin/env bash
# Runs a command on a virtual LAN made of network namespaces: a "pc" with one
# Ethernet adapter (eth0, 192.168.1.10/24, default route via 192.168.1.1,
# rp_filter loose as on a desktop), one simulated camera on the pc's subnet
# (192.168.1.20) and one on another subnet (10.20.30.40/16, which takes
# 192.168.1.21 when told to use DHCP). The segment is a bridge inside a
# namespace of its own. The command runs inside "pc"; everything is removed
# when it ends, also on Ctrl-C or failure.
#
# Needs root: creating network namespaces, veth links and bridges, and
# setting addresses inside them, is reserved to root. Nothing is sent from the
# machine's own network: the discovery broadcasts stay inside the namespaces.
#
#   scripts/vlan.sh [--camsim PATH] [--set-delay-ms N] [--user NAME] [--] COMMAND [ARGS...]
#
# --user runs COMMAND as that user (default: the user who called sudo, if any),
# so that a desktop program can reach the user's display and sound.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
camsim=${CAMSIM:-$root/build/tools/camsim/tavo-camsim}
delay=5000
user=${SUDO_USER:-}
while [ $# -gt 0 ]; do
  case "$1" in
    --camsim) camsim=$2; shift 2 ;;
    --set-delay-ms) delay=$2; shift 2 ;;
    --user) user=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "vlan.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "vlan.sh: needs root (network namespaces); run it as root, for example with sudo" >&2; exit 1; }
[ -x "$camsim" ] || { echo "vlan.sh: no simulator at $camsim (build first, or --camsim PATH)" >&2; exit 1; }

prefix="qd$$-"
made=()
pids=()
cleanup() {
  trap - EXIT INT TERM HUP
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for ((i = ${#made[@]} - 1; i >= 0; i--)); do
    for pid in $(ip netns pids "${made[$i]}" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    ip netns del "${made[$i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

addns() {
  ip netns add "$prefix$1"
  made+=("$prefix$1")
  ip -n "$prefix$1" link set lo up
}
# attach PORT HOST IFNAME ADDRESS: a veth made inside the switch namespace.
attach() {
  ip -n "${prefix}sw" link add "$1" type veth peer name "$3" netns "$prefix$2"
  ip -n "${prefix}sw" link set "$1" master br0 up
  ip -n "$prefix$2" addr add "$4" dev "$3"
  ip -n "$prefix$2" link set "$3" up
}
# camera NAME ADDRESS GATEWAY MAC LABEL [SIMULATOR OPTIONS...]
camera() {
  local name=$1 address=$2 gateway=$3 mac=$4 label=$5
  shift 5
  addns "$name"
  attach "c-$name" "$name" eth0 "$address"
  ip -n "$prefix$name" route add default via "$gateway" dev eth0 onlink
  local log
  log=$(mktemp)
  ip netns exec "$prefix$name" "$camsim" --iface eth0 --port 80 --mac "$mac" --name "$label" \
    --gateway "$gateway" --set-delay-ms "$delay" "$@" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do grep -q 'listening on' "$log" && break; sleep 0.1; done
  grep -q 'listening on' "$log" || { cat "$log" >&2; rm -f "$log"; echo "vlan.sh: camera $name did not start" >&2; exit 1; }
  rm -f "$log"
}

addns sw
ip -n "${prefix}sw" link add br0 type bridge
ip -n "${prefix}sw" link set br0 up
addns pc
ip netns exec "${prefix}pc" sysctl -qw net.ipv4.conf.all.rp_filter=2 net.ipv4.conf.default.rp_filter=2
attach p-pc pc eth0 192.168.1.10/24
ip -n "${prefix}pc" link set eth0 address 02:00:00:00:0a:01
ip -n "${prefix}pc" route add default via 192.168.1.1 dev eth0
camera cam1 192.168.1.20/24 192.168.1.1 00:1a:2b:00:00:01 "Front door"
camera cam2 10.20.30.40/16 10.20.0.1 00:1a:2b:00:00:02 "Garden" \
  --dhcp-lease 192.168.1.21/24 --dhcp-gateway 192.168.1.1

echo "vlan.sh: pc 192.168.1.10/24; cameras 192.168.1.20 (same subnet) and 10.20.30.40 (other subnet)" >&2
status=0
if [ -n "$user" ] && [ "$user" != root ]; then
  keep=()
  for var in DISPLAY WAYLAND_DISPLAY XAUTHORITY; do
    [ -n "${!var:-}" ] && keep+=("$var=${!var}")
  done
  keep+=("XDG_RUNTIME_DIR=/run/user/$(id -u "$user")")
  set -- setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups --reset-env -- \
    env "${keep[@]}" "$@"
fi
# In the background (keeping the terminal as its input) so that a signal to
# this script runs the clean-up at once; the clean-up ends the command too.
ip netns exec "${prefix}pc" "$@" <&0 &
pids=("$!" "${pids[@]}")
wait "${pids[0]}" || status=$?
exit "$status"
