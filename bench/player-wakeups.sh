#!/bin/sh
# Runs the real player headless on a recording and reads, from /proc, what it
# costs over a minute: CPU time and wake-ups (context switches of all its
# threads), first idle with nothing selected, then with one service selected
# and playing. The ALSA default device of the player's home writes raw PCM to a
# file, so that the time from the selection command to the first PCM block
# handed to ALSA can be read from outside.
#
#   bench/player-wakeups.sh [build folder] [seconds] [recording folder or file@channel]
#
# Defaults: build, 60 s, the demo ensembles in <build>/resources/demo.
set -eu
unset DISPLAY WAYLAND_DISPLAY XDG_CONFIG_HOME

build=$(realpath "${1:-build}")
seconds=${2:-60}
source=${3:-$build/resources/demo}
case $source in
    /*) ;;
    *) source=$(pwd)/$source ;;
esac
zoz=$build/src/zoz
port=${ZOZ_BENCH_PORT:-$((20000 + $$ % 20000))}

[ -x "$zoz" ] || { echo "no player at $zoz (build the zoz and RTKDAB targets)" >&2; exit 1; }
home=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT INT TERM

# The scan walks only the channels of the recordings.
case $source in
    *@*) channels=${source##*@} ;;
    *) channels=$(ls "$source" | sed -n 's/\.eti$//p') ;;
esac
{
    printf '<?xml version="1.0"?>\n<zoz>\n  <scanFrequencies>\n    <dab>\n'
    for channel in $channels; do
        printf '      <frequency frequencyOrId="%s" label="%s"/>\n' "$channel" "$channel"
    done
    printf '    </dab>\n  </scanFrequencies>\n</zoz>\n'
} >"$home/zoz.cfg"
played=$home/played.raw
printf 'pcm.!default {\n  type file\n  slave.pcm "null"\n  file "%s"\n  format "raw"\n}\n' "$played" >"$home/.asoundrc"

HOME=$home RTKDAB_SOURCE=$source LD_LIBRARY_PATH=$build/src${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
    "$zoz" -cfg "$home/zoz.cfg" --http-port "$port" >"$home/out.log" 2>&1 &
pid=$!

# ajax <query>: one command; quote() encodes a value as the pages do (a marker, then %XX).
ajax() { curl -s --max-time 5 -H "Host: 127.0.0.1:$port" ${token:+-H "X-ZOZ-Token: $token"} "http://127.0.0.1:$port/ajax?$1"; }
quote() { python3 -c 'import sys, urllib.parse; print("__UTF8__" + urllib.parse.quote(sys.argv[1], safe=""))' "$1"; }
field() { python3 -c 'import json, sys
value = json.load(sys.stdin)
for key in sys.argv[1:]:
    value = value[int(key)] if isinstance(value, list) else value.get(key, "") if isinstance(value, dict) else ""
print("" if value is None else value)' "$@"; }

token=
waited=0
until curl -s -o /dev/null "http://127.0.0.1:$port/" -H "Host: 127.0.0.1:$port"; do
    sleep 1
    waited=$((waited + 1))
    [ $waited -lt 30 ] || { echo "the player did not start" >&2; exit 1; }
done
token=$(curl -s -H "Host: 127.0.0.1:$port" "http://127.0.0.1:$port/" | sed -n 's/.*name="zoz-token" content="\([^"]*\)".*/\1/p' | head -n 1)

# Ready once the scan (confirmed like a user would) is over and the list holds services.
waited=0
while :; do
    info=$(ajax getServerInfo)
    question=$(echo "$info" | field confirm)
    [ -z "$question" ] || ajax "confirmed=$(quote "$question")&yes" >/dev/null
    [ "$(echo "$info" | field receiver scanning)" = False ] && [ "$(echo "$info" | field receiver numServices)" != 0 ] \
        && [ -n "$(echo "$info" | field receiver numServices)" ] && break
    sleep 1
    waited=$((waited + 1))
    [ $waited -lt 300 ] || { echo "the player did not finish its scan" >&2; exit 1; }
done

# CPU ticks (user + system) of the whole process, and the sum of every thread's switches.
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
switches() { cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }

# One line per thread: id, name, switches.
threads() { for task in /proc/"$pid"/task/*; do
    printf '%s %s %s\n' "${task##*/}" "$(tr ' ' _ <"$task/comm")" "$(awk '/ctxt_switches/ { n += $2 } END { print n }' "$task/status")"
done 2>/dev/null; }

measure() {
    sleep 5
    threads >"$home/threads0"
    c0=$(cpu); s0=$(switches)
    sleep "$seconds"
    c1=$(cpu); s1=$(switches)
    threads >"$home/threads1"
    hz=$(getconf CLK_TCK)
    awk -v name="$1" -v c="$((c1 - c0))" -v s="$((s1 - s0))" -v t="$seconds" -v hz="$hz" 'BEGIN {
        cpu = c / hz
        printf "%-9s cpu %.2f s per minute (%.3f %% of a core), %.1f wake-ups per second\n", name, cpu * 60 / t, 100 * cpu / t, s / t
    }'
    # The threads that woke most, for finding where the wake-ups come from.
    awk -v t="$seconds" 'NR == FNR { before[$1] = $3; next }
        { n = $3 - before[$1]; if (n > 0) printf "          %-16s %.2f per second\n", $2, n / t }' \
        "$home/threads0" "$home/threads1" | sort -k2 -rn | head -n 5
}

measure idle
sid=$(ajax getServerInfo | field services 0 ID)
[ -n "$sid" ] || { echo "no service in the list" >&2; exit 1; }
start=$(date +%s%N)
ajax "selectService=$sid" | grep -q '"success":true' || { echo "selecting service $sid failed" >&2; exit 1; }
# The first PCM block handed to ALSA lands in the file at once (its slave is the null device).
until [ -s "$played" ] || [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 30000 ]; do sleep 0.005; done
if [ -s "$played" ]; then
    awk -v ns="$(( $(date +%s%N) - start ))" 'BEGIN { printf "first PCM block handed to ALSA %.3f s after the selection command\n", ns / 1e9 }'
else
    echo "no PCM reached ALSA within 30 s (a service without sound?)"
fi
measure selected
awk -v bytes="$(stat -c %s "$played")" 'BEGIN { printf "          %.1f s of 48 kHz stereo PCM played in all\n", bytes / 192000 }'
