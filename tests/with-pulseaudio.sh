#!/bin/sh
# Runs its arguments with a private PulseAudio server whose only output is a null
# sink, so audio playback can be tested on machines without a sound card.
set -u

work=$(mktemp -d)
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER

pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false --disallow-exit \
    --load="module-null-sink sink_name=nullsink" \
    --load="module-native-protocol-unix" >"$work/pulseaudio.log" 2>&1 &
server=$!

keepalive=
cleanup() {
    [ -n "$keepalive" ] && kill "$keepalive" 2>/dev/null
    kill "$server" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Wait for the server to answer.
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "with-pulseaudio.sh: the sound server did not start" >&2
        cat "$work/pulseaudio.log" >&2
        exit 1
    fi
    sleep 0.1
done
pactl set-default-sink nullsink >/dev/null

# Without a steady stream the null sink lets a new stream stall for up to two seconds.
pacat --raw --latency-msec=30 /dev/zero &
keepalive=$!
tries=0
until [ -n "$(pactl list short sink-inputs 2>/dev/null)" ] || [ "$tries" -gt 50 ]; do
    tries=$((tries + 1))
    sleep 0.1
done

"$@"
