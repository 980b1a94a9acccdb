#!/usr/bin/env bash
# A second start while the program runs, with another window over the running one: the second
# process shows no window and ends with exit code 0, and the running copy's window comes to the
# front (active, top of the stacking order, and drawn where the screen shows it). Three rounds,
# as a window brought forward was once seen blank about every other time.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 10 1-languageChoice languageChoice || e2e_fail "no language screen"
e2e_screen_at_client "$E2E_OUT/1-in-front.png"

covered() { [ "$(e2e_active_window)" = "$other_hex" ] && [ "$(e2e_stacking | tail -n 1)" = "$other_hex" ]; }
shows_app() { e2e_screen_at_client "$E2E_OUT/$round-3-in-front-again.png" && e2e_same_image "$E2E_OUT/1-in-front.png" "$E2E_OUT/$round-3-in-front-again.png"; }

for round in 1 2 3; do
    # Another window over it: the updater stays above ordinary windows, so this one goes into
    # the same layer and is activated.
    xmessage -geometry 600x300+212+240 "another program's window" >"$E2E_OUT/xmessage.log" 2>&1 {e2e_lock_fd}>&- &
    cover=$!
    e2e_pids+=("$cover")
    e2e_wait_for 10 xdotool search --classname xmessage >/dev/null || e2e_fail "no xmessage window"
    other=$(xdotool search --classname xmessage | head -n 1)
    other_hex=$(e2e_hex_id "$other")
    wmctrl -i -r "$other" -b add,above
    wmctrl -i -a "$other"
    e2e_wait_for 5 covered || e2e_fail "$round: the other window did not come over the updater"
    e2e_screen_at_client "$E2E_OUT/$round-2-covered.png"
    e2e_same_image "$E2E_OUT/1-in-front.png" "$E2E_OUT/$round-2-covered.png" && e2e_fail "$round: the other window does not cover the updater"
    clients_before=$(xprop -root _NET_CLIENT_LIST)

    # The second start, from the same folder; any window it maps is seen while it runs.
    "$E2E_RUN/$(basename "$E2E_APP")" >"$E2E_OUT/$round-second-start.log" 2>&1 {e2e_lock_fd}>&- &
    second=$!
    e2e_pids+=("$second")
    second_windows=""
    deadline=$(( $(e2e_now_ms) + 10000 ))
    while kill -0 "$second" 2>/dev/null && (( $(e2e_now_ms) < deadline )); do
        second_windows+=$(xdotool search --pid "$second" 2>/dev/null)
        sleep 0.02
    done
    kill -0 "$second" 2>/dev/null && e2e_fail "$round: the second start did not end within 10 s"
    wait "$second"
    status=$?
    e2e_forget_pid "$second"
    e2e_log "$round: the second start ended with $status"
    [ "$status" = 0 ] || e2e_fail "$round: the second start ended with $status"
    [ -z "$second_windows" ] || e2e_fail "$round: the second start made windows: $second_windows"
    e2e_app_ended && e2e_fail "$round: the running copy ended"

    e2e_wait_for 5 e2e_app_in_front || e2e_fail "$round: the running copy did not come to the front"
    [ "$(xprop -root _NET_CLIENT_LIST)" = "$clients_before" ] || e2e_fail "$round: the windows changed"
    e2e_wait_for 5 shows_app || e2e_fail "$round: the window in front does not show the updater's screen"

    e2e_stop_pid "$cover"
    e2e_forget_pid "$cover"
done

e2e_click_left_button   # Cancel
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after Cancel"
e2e_log "second start: exit code 0, no window, the running copy in front"
