#!/usr/bin/env bash
# A second start while the program runs, with another window over the running one: the second
# process shows no window and ends with exit code 0, and the running copy's window comes to the
# front (active, top of the stacking order, and what the screen shows at its place).
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 10 1-languageChoice languageChoice || e2e_fail "no language screen"
e2e_screen_at_client "$E2E_OUT/1-in-front.png"

# Another window over it: the updater stays on top of ordinary windows, so this one is put in
# the same layer and activated.
xmessage -geometry 600x300+212+240 "another program's window" >"$E2E_OUT/xmessage.log" 2>&1 {e2e_lock_fd}>&- &
e2e_pids+=("$!")
e2e_wait_for 10 xdotool search --classname xmessage >/dev/null || e2e_fail "no xmessage window"
other=$(xdotool search --classname xmessage | head -n 1)
wmctrl -i -r "$other" -b add,above
wmctrl -i -a "$other"
other_hex=$(e2e_hex_id "$other")
covered() { [ "$(e2e_active_window)" = "$other_hex" ] && [ "$(e2e_stacking | tail -n 1)" = "$other_hex" ]; }
e2e_wait_for 5 covered || e2e_fail "the other window did not come over the updater"
e2e_screen_at_client "$E2E_OUT/2-covered.png"
e2e_same_image "$E2E_OUT/1-in-front.png" "$E2E_OUT/2-covered.png" && e2e_fail "the other window does not cover the updater"
clients_before=$(xprop -root _NET_CLIENT_LIST)

# The second start, from the same folder; any window it maps is seen while it runs.
second_log="$E2E_OUT/second-start.log"
"$E2E_RUN/$(basename "$E2E_APP")" >"$second_log" 2>&1 {e2e_lock_fd}>&- &
second=$!
e2e_pids+=("$second")
second_windows=""
deadline=$(( $(e2e_now_ms) + 10000 ))
while kill -0 "$second" 2>/dev/null && (( $(e2e_now_ms) < deadline )); do
    second_windows+=$(xdotool search --pid "$second" 2>/dev/null)
    sleep 0.02
done
kill -0 "$second" 2>/dev/null && e2e_fail "the second start did not end within 10 s"
wait "$second"
status=$?
e2e_forget_pid "$second"
e2e_log "the second start ended with $status"
[ "$status" = 0 ] || e2e_fail "the second start ended with $status"
[ -z "$second_windows" ] || e2e_fail "the second start made windows: $second_windows"
e2e_app_ended && e2e_fail "the running copy ended"

e2e_wait_for 5 e2e_app_in_front || e2e_fail "the running copy did not come to the front"
[ "$(xprop -root _NET_CLIENT_LIST)" = "$clients_before" ] || e2e_fail "the windows changed: $(xprop -root _NET_CLIENT_LIST)"
e2e_screen_shows_app() { e2e_screen_at_client "$E2E_OUT/3-in-front-again.png" && e2e_same_image "$E2E_OUT/1-in-front.png" "$E2E_OUT/3-in-front-again.png"; }
e2e_wait_for 5 e2e_screen_shows_app || e2e_fail "the screen does not show the updater at its place"

e2e_click_left_button   # Cancel
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after Cancel"
e2e_log "second start: exit code 0, no window, the running copy in front"
