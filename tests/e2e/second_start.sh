#!/usr/bin/env bash
# A second start while the program runs under another window: the second process shows no
# window and ends with exit code 0, and the running copy's window comes to the front, active,
# on top, and drawn (a window brought forward was once left blank about every other time:
# three rounds). Nothing is made in the shared /var/tmp. A start that cannot hand over says why
# and ends with 1: beside a copy that does not answer (six starts, more than its queue of
# connections holds), or with no folder that only its user can write to. And a start without
# an X display says so and ends with 1, having started nothing.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
app="$E2E_RUN/$(basename "$E2E_APP")"

# Runs the updater with "$@" (the environment) and expects it to end with 1 and the one line
# that matches $1 on standard error, having made no window; $2 names its output.
refused()
{
    local pattern=$1 name=$2 pid windows="" code
    shift 2
    env "$@" "$app" 2>"$E2E_OUT/$name.txt" &
    pid=$!
    e2e_wait_for 60 eval 'windows+=$(xdotool search --pid $pid 2>/dev/null); ! kill -0 $pid 2>/dev/null' \
        || e2e_fail "$name: the start did not end"
    wait "$pid"
    code=$?
    [ "$code" = 1 ] && grep -q "$pattern" "$E2E_OUT/$name.txt" && [ "$(wc -l <"$E2E_OUT/$name.txt")" = 1 ] \
        || e2e_fail "$name: exit code $code, $(cat "$E2E_OUT/$name.txt")"
    [ -z "$windows" ] || e2e_fail "$name: made windows $windows"
}

# (Without DISPLAY the framework tries :0, which may be there.)
refused "no X display" no-display DISPLAY=/nonexistent/x11-display:0 MORVANTX_BUS="$e2e_tmp/no-bus"
[ ! -e "$XDG_RUNTIME_DIR/.VN382UpdateProgram" ] && [ ! -e "$e2e_tmp/no-bus" ] || e2e_fail "started without a display"

# Another user's runtime folder, and a home folder that others may write to.
mkdir -m 700 "$e2e_tmp/theirs" && chown 65534 "$e2e_tmp/theirs" && mkdir -m 1777 "$e2e_tmp/shared" || e2e_fail "folders"
refused "writable by other users" no-private-folder XDG_RUNTIME_DIR="$e2e_tmp/theirs" HOME="$e2e_tmp/shared"
[ -z "$(ls -A "$e2e_tmp/theirs" "$e2e_tmp/shared" | grep -v :)" ] || e2e_fail "made something in another user's folders"

e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 1-languageChoice
e2e_screen_at_client "$E2E_OUT/in-front.png"
clients=$(xprop -root _NET_CLIENT_LIST)
app_window=$E2E_WINDOW

for round in 1 2 3; do
    # The updater stays above ordinary windows: the other one goes into the same layer.
    e2e_spawn xmessage xmessage -geometry 600x300+212+240 "another program's window"
    cover=$e2e_pid
    e2e_wait_for 60 eval 'other=$(xdotool search --classname xmessage 2>/dev/null)' || e2e_fail "no xmessage window"
    wmctrl -i -r "$other" -b add,above
    wmctrl -i -a "$other"
    e2e_wait_for 60 e2e_in_front "$other" top || e2e_fail "$round: the other window is not in front"
    e2e_screen_at_client "$E2E_OUT/$round-covered.png"
    e2e_same_image "$E2E_OUT/in-front.png" "$E2E_OUT/$round-covered.png" && e2e_fail "$round: nothing covers the updater"

    e2e_spawn "$round-second" "$app"
    second=$e2e_pid
    windows=""
    e2e_wait_for 60 eval 'windows+=$(xdotool search --pid $second 2>/dev/null); ! kill -0 $second 2>/dev/null' \
        || e2e_fail "$round: the second start did not end"
    wait "$second" || e2e_fail "$round: the second start ended with $?"
    [ -z "$windows" ] || e2e_fail "$round: the second start made windows $windows"
    [ ! -s "$E2E_OUT/$round-second.log" ] || e2e_fail "$round: the second start said $(cat "$E2E_OUT/$round-second.log")"
    e2e_wait_for 60 e2e_in_front "$app_window" top || e2e_fail "$round: the running copy did not come to the front"
    e2e_wait_for 60 eval 'e2e_screen_at_client "$E2E_OUT/$round-in-front.png" && e2e_same_image "$E2E_OUT/in-front.png" "$E2E_OUT/$round-in-front.png"' \
        || e2e_fail "$round: the window in front does not show the updater's screen"
    kill "$cover" && wait "$cover"
    e2e_wait_for 60 eval '[ "$(xprop -root _NET_CLIENT_LIST)" = "$clients" ]' || e2e_fail "$round: the windows changed"
done
[ -z "$(ls -A /var/tmp)" ] || e2e_fail "made in /var/tmp: $(ls -A /var/tmp)"

kill -STOP "$E2E_APP_PID"
starts=()
for n in 1 2 3 4 5 6; do
    refused "did not answer" "stopped-$n" &
    starts+=($!)
    sleep 0.3
done
for pid in "${starts[@]}"; do
    wait "$pid" || e2e_fail "a start beside a copy that does not answer: $(cat "$E2E_OUT"/stopped-*.txt)"
done
kill -CONT "$E2E_APP_PID"

e2e_click_left
e2e_wait_exit 60
