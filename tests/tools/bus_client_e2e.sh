#!/usr/bin/env bash
# The automation server as a new user meets it: the real `tarvel` on a private session bus of
# its own (so it can own ProjectTarvel.Server beside other tests), the controller simulator on a
# loopback address of its own, tarvel-client holding the objects, gdbus as a client we did not
# write. Run as: dbus-run-session -- bus_client_e2e.sh TARVEL SIM CLIENT
set -euo pipefail
tarvel=$1 sim=$2 client=$3

work=$(mktemp -d)
TARVEL_SHM_SUFFIX="_e2e$$"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for r in OrvoMonitorData OrvoIonData OrvoStageData MonitoringSEMData CanDialData; do
    rm -f "/dev/shm/$r$TARVEL_SHM_SUFFIX" "/dev/shm/$r${TARVEL_SHM_SUFFIX}_MUT"
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.log; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
  done
  exit 1
}
# Waits up to $2 tenths of a second for a line matching $1 in file $3.
wait_for() {
  for _ in $(seq "$2"); do
    grep -q -E "$1" "$3" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

mkdir -p "$work/bin" "$work/Data" "$work/orvo/Data"
export TARVEL_ORVO_ROOT="$work/orvo" XDG_DATA_HOME="$work/xdg" QT_QPA_PLATFORM=offscreen
# The servers' shared records under names of this run's own, never those of a real server.
export TARVEL_SHM_SUFFIX="_e2e$$"
# The link's port is fixed at 20000; a loopback address of our own keeps parallel runs apart.
addr="127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
"$sim" --host "$addr" --port 20000 --no-control --sys-name ORVO-CLIENT --log "$work/sim.log" \
  </dev/null >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for '^listening' 50 "$work/sim.out" || fail "simulator did not start"

echo "== a scripted session against tarvel --no-window"
cd "$work/bin"
"$tarvel" --no-window --log "$work/tarvel.log" &
tarvel_pid=$!
pids+=("$tarvel_pid")
wait_for 'automation: serving ProjectTarvel.Server' 100 "$work/tarvel.log" ||
  fail "tarvel did not take its bus name"

"$client" 'create ProjectTarvel.SockSystem' 'call Advise' 'call put_UseEventFlag true' \
  "call put_IPAdrs $addr" 'call put_SocketStatus true' 'until get_SocketStatus true 10' \
  'until get_SysName ORVO-CLIENT 10' 'wait-event 1148 10' 'call get_VMESyncroRequest' \
  'call get_SyncReturnID' 'try put_SetAlarm 151' 'call GetErrorInfo' \
  'call put_SocketStatus false' 'until get_SocketStatus false 10' >"$work/script.out" 2>&1 ||
  fail "script failed: $(tail -n 3 "$work/script.out")"
grep -q '^object /ProjectTarvel/SockSystem/[0-9]*$' "$work/script.out" || fail "no object line"
grep -q '^reply ORVO-CLIENT$' "$work/script.out" || fail "SysName not read"
grep -q ' OnMyEvent 1148$' "$work/script.out" || fail "no OnMyEvent 1148"
# The sync request's id comes back as the last returned id, and it is not 0 with the link up.
mapfile -t ids < <(sed -n '/^reply true$/,$p' "$work/script.out" | grep -E '^reply -?[0-9]+$' |
  head -n 2 | cut -d' ' -f2)
[ "${#ids[@]}" = 2 ] && [ "${ids[0]}" = "${ids[1]}" ] && [ "${ids[0]}" -gt 0 ] ||
  fail "VMESyncroRequest ids: ${ids[*]:-none}"
grep -q '^error ProjectTarvel.Error.E_UNEXPECTED: ' "$work/script.out" ||
  fail "an alarm number out of range was not E_UNEXPECTED"
grep -q '^reply .* ProjectTarvel.SockSystem -2147418113$' "$work/script.out" ||
  fail "error info without source and HRESULT: $(grep -A1 'E_UNEXPECTED' "$work/script.out")"
grep -q '"cmd":"DC_BEEP_OFF"\|DC_BEEP_OFF' "$work/sim.log" || fail "phase 1 did not reach the simulator"

echo "== objects held by an interactive tarvel-client, called by gdbus"
mkfifo "$work/steps"
"$client" <"$work/steps" >"$work/held.out" 2>&1 &
pids+=($!)
exec 7>"$work/steps"
echo 'create ProjectTarvel.SockSystem' >&7
echo 'call Advise' >&7
wait_for '^reply [0-9]+$' 50 "$work/held.out" || fail "interactive client made no object"
obj=$(sed -n 's/^object //p' "$work/held.out" | head -n 1)
gd() { gdbus call --session --dest ProjectTarvel.Server --object-path "$obj" --method "$@"; }
gd ProjectTarvel.ISockSystem.put_UseEventFlag true >/dev/null
gd ProjectTarvel.ISockSystem.put_IPAdrs "$addr" >/dev/null
gd ProjectTarvel.ISockSystem.put_SocketStatus true >/dev/null
for _ in $(seq 100); do
  [ "$(gd ProjectTarvel.ISockSystem.get_SysName)" = "('ORVO-CLIENT',)" ] && break
  sleep 0.1
done
[ "$(gd ProjectTarvel.ISockSystem.get_SysName)" = "('ORVO-CLIENT',)" ] || fail "gdbus: SysName"
# The events of the object gdbus drives reach the client that advised it.
wait_for 'OnMyEvent 1148$' 100 "$work/held.out" || fail "held object's events not received"
id=$(gd ProjectTarvel.ISockSystem.get_VMESyncroRequest)
[ "$id" = "$(gd ProjectTarvel.ISockSystem.get_SyncReturnID)" ] || fail "gdbus: sync id $id"
[ "$(gd ProjectTarvel.Dispatch.Invoke 10 get '[]')" = "(<'ORVO-CLIENT'>,)" ] ||
  fail "gdbus: Invoke by dispatch id"
gd ProjectTarvel.ISockSystem.put_SocketStatus false >/dev/null
# A bad step does not end an interactive session.
echo 'call no_such_member' >&7
echo 'call get_SocketStatus' >&7
wait_for '^reply false$' 50 "$work/held.out" || fail "session did not go on after an error"
grep -q '^error tarvel.client.NoMember: ' "$work/held.out" || fail "unknown member not reported"
# The end of input ends the client; its object goes with it.
exec 7>&-
for _ in $(seq 50); do gd ProjectTarvel.ISockSystem.get_SocketStatus >/dev/null 2>&1 || break; sleep 0.1; done
if gd ProjectTarvel.ISockSystem.get_SocketStatus >/dev/null 2>&1; then
  fail "object outlived its client"
fi
kill "$tarvel_pid"
wait "$tarvel_pid" 2>/dev/null || true

echo "== tarvel --system-bus serves on the system bus, not the session bus"
# A bus of this run's own stands in for the system bus: server and client find it through
# DBUS_SYSTEM_BUS_ADDRESS, as they would find the machine's.
dbus-daemon --session --nofork --print-address=1 --address="unix:path=$work/system_bus" \
  >"$work/system_bus.addr" 2>"$work/system_bus.log" &
pids+=($!)
wait_for '^unix:' 50 "$work/system_bus.addr" || fail "no stand-in system bus"
DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/system_bus.addr")
export DBUS_SYSTEM_BUS_ADDRESS
"$tarvel" --no-window --system-bus --log "$work/tarvel_system.log" &
system_pid=$!
pids+=("$system_pid")
wait_for 'automation: serving ProjectTarvel.Server' 100 "$work/tarvel_system.log" ||
  fail "tarvel --system-bus did not take its bus name"
"$client" --system-bus 'create ProjectTarvel.SockSystem' 'call get_SysName' \
  >"$work/system.out" 2>&1 || fail "system bus session: $(tail -n 3 "$work/system.out")"
grep -q '^reply ORVO410$' "$work/system.out" || fail "system bus: SysName not read"
owner=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.NameHasOwner ProjectTarvel.Server)
[ "$owner" = "(false,)" ] || fail "tarvel --system-bus also took the session bus name"
kill "$system_pid"
wait "$system_pid" 2>/dev/null || true

echo "== registration and start by D-Bus activation"
"$tarvel" /REGSERVER
service="$XDG_DATA_HOME/dbus-1/services/ProjectTarvel.Server.service"
[ -f "$service" ] || fail "no activation file"
# The bus read its service folders when it started; the new file is found once it reloads.
bus() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method "org.freedesktop.DBus.$1" "${@:2}" >/dev/null
}
bus ReloadConfig
# A server the bus starts gets the bus's environment, not ours: give it this run's folders
# and record names.
bus UpdateActivationEnvironment "{'TARVEL_ORVO_ROOT': '$TARVEL_ORVO_ROOT', \
  'TARVEL_SHM_SUFFIX': '$TARVEL_SHM_SUFFIX', 'XDG_DATA_HOME': '$XDG_DATA_HOME', \
  'QT_QPA_PLATFORM': 'offscreen'}"
"$client" 'create ProjectTarvel.SockIon' 'call GetIDsOfNames UseEventFlag' 'release' \
  >"$work/activated.out" 2>&1 || fail "activation: $(cat "$work/activated.out")"
# Started by activation, the server ends with its last object.
for _ in $(seq 100); do
  pgrep -f -x "$tarvel /AUTOMATION" >/dev/null || break
  sleep 0.1
done
if pgrep -f -x "$tarvel /AUTOMATION" >/dev/null; then fail "activated server did not end"; fi
"$tarvel" /UNREGSERVER
[ ! -e "$service" ] || fail "UNREGSERVER left the activation file"
echo "PASS"
