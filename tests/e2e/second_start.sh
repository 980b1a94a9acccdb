#!/usr/bin/env bash
# A second start while the program runs under another window: the second process shows no
# window and ends with exit code 0, and the running copy's window comes to the front, active,
# on top, and drawn (a window brought forward was once left blank about every other time:
# three rounds). The framework's lock file stands in the second start's /var/tmp as usual, as
# a link (never followed to make a file) and as a folder (which the framework's lock counts as
# held). And a start without an X display says so and ends with 1, having started nothing.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
app="$E2E_RUN/$(basename "$E2E_APP")"
lock=juceAppLock_VN382UpdateProgram
# Runs the updater, with the pid of this call, over the folder $1 as its /var/tmp.
with_var_tmp() { unshare --mount --propagation private sh -c 'mount --bind "$0" /var/tmp && exec "$@"' "$@"; }

# (Without DISPLAY the framework tries :0, which may be there.)
mkdir "$e2e_tmp/no-display"
with_var_tmp "$e2e_tmp/no-display" env DISPLAY=/nonexistent/x11-display:0 MORVANTX_BUS="$e2e_tmp/no-bus" "$app" \
    2>"$E2E_OUT/no-display.txt"
code=$?
[ "$code" = 1 ] && grep -q "no X display" "$E2E_OUT/no-display.txt" && [ "$(wc -l <"$E2E_OUT/no-display.txt")" = 1 ] \
    || e2e_fail "without a display: exit code $code, $(cat "$E2E_OUT/no-display.txt")"
[ -z "$(ls -A "$e2e_tmp/no-display")" ] && [ ! -e "$e2e_tmp/no-bus" ] || e2e_fail "started without a display"

mkdir "$e2e_tmp/as-link" "$e2e_tmp/as-folder" "$e2e_tmp/as-folder/$lock"
ln -s /var/tmp/made-through-the-link "$e2e_tmp/as-link/$lock"
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 1-languageChoice
e2e_screen_at_client "$E2E_OUT/in-front.png"
clients=$(xprop -root _NET_CLIENT_LIST)
app_window=$E2E_WINDOW

for round in usual as-link as-folder; do
    # The updater stays above ordinary windows: the other one goes into the same layer.
    e2e_spawn xmessage xmessage -geometry 600x300+212+240 "another program's window"
    cover=$e2e_pid
    e2e_wait_for 60 eval 'other=$(xdotool search --classname xmessage 2>/dev/null)' || e2e_fail "no xmessage window"
    wmctrl -i -r "$other" -b add,above
    wmctrl -i -a "$other"
    e2e_wait_for 60 e2e_in_front "$other" top || e2e_fail "$round: the other window is not in front"
    e2e_screen_at_client "$E2E_OUT/$round-covered.png"
    e2e_same_image "$E2E_OUT/in-front.png" "$E2E_OUT/$round-covered.png" && e2e_fail "$round: nothing covers the updater"

    if [ "$round" = usual ]; then
        e2e_spawn "$round-second" "$app"
    else
        e2e_spawn "$round-second" with_var_tmp "$e2e_tmp/$round" "$app"
    fi
    second=$e2e_pid
    windows=""
    e2e_wait_for 60 eval 'windows+=$(xdotool search --pid $second 2>/dev/null); ! kill -0 $second 2>/dev/null' \
        || e2e_fail "$round: the second start did not end"
    wait "$second" || e2e_fail "$round: the second start ended with $?"
    [ ! -e "$e2e_tmp/as-link/made-through-the-link" ] || e2e_fail "the link at the lock's path was followed"
    [ -z "$windows" ] || e2e_fail "$round: the second start made windows $windows"
    e2e_wait_for 60 e2e_in_front "$app_window" top || e2e_fail "$round: the running copy did not come to the front"
    e2e_wait_for 60 eval 'e2e_screen_at_client "$E2E_OUT/$round-in-front.png" && e2e_same_image "$E2E_OUT/in-front.png" "$E2E_OUT/$round-in-front.png"' \
        || e2e_fail "$round: the window in front does not show the updater's screen"
    kill "$cover" && wait "$cover"
    e2e_wait_for 60 eval '[ "$(xprop -root _NET_CLIENT_LIST)" = "$clients" ]' || e2e_fail "$round: the windows changed"
done
e2e_click_left
e2e_wait_exit 60
