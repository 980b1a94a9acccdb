#!/usr/bin/env bash
# The window under xfwm4: a client area of 426 x 176, centred in the work area (e2e_start_app
# waits for that), whose size no window manager request changes (fullscreen, maximise, resize);
# the title of the user's language, whole; a frame without close, minimise or maximise and not
# resizable; and a close through the window manager (Alt+F4, a pager's close request) that does
# not end the program.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
# As on a busy machine, xfwm4 frames the window while the updater still starts: the X server and
# xfwm4 run before the updater, on its processor, until then (where the system allows it).
all=$(taskset -c -p $$ | sed 's/.*: //') cpu=$((RANDOM % $(nproc))) fast=$(pgrep -d ' ' -P $$ -x 'Xvfb|xfwm4')
for pid in $$ $fast; do taskset -a -c -p $cpu "$pid"; done &>/dev/null
for pid in $fast; do chrt -a -f -p 1 "$pid"; done &>/dev/null
e2e_start_app LANG=ja_JP.UTF-8
for pid in $fast; do chrt -a -o -p 0 "$pid"; done &>/dev/null
for pid in $$ $fast $E2E_APP_PID; do taskset -a -c -p "$all" "$pid"; done &>/dev/null
e2e_wait_screen 60 languageChoice 1-languageChoice
[ "$(e2e_size)" = 426x176 ] || e2e_fail "client area $(e2e_size)"
[ "$(e2e_title)" = "$(e2e_table_title japanese)" ] || e2e_fail "title '$(e2e_title)'"

centred=$(e2e_centred) # as e2e_start_app found it

# What the program asks of the frame (Motif hints: moving only; border and title) and what the
# window manager grants.
read -r flags functions decorations < <(xprop -id "$E2E_WINDOW" _MOTIF_WM_HINTS | grep -o '0x[0-9a-f]*' | head -n 3 | tr '\n' ' ')
(((flags & 3) == 3 && (functions & ~0x4) == 0 && (decorations & ~0xa) == 0)) \
    || e2e_fail "Motif hints: flags $flags, functions $functions, decorations $decorations"
allowed=$(xprop -id "$E2E_WINDOW" _NET_WM_ALLOWED_ACTIONS)
grep -Eq 'MINIMIZE|MAXIMIZE|RESIZE' <<<"$allowed" && e2e_fail "$allowed"

# Each request for another size, once the window manager has handled it, ends at the one size
# and place.
kept() { [ "$(e2e_size) $(e2e_at)" = "426x176 $centred" ] && ! e2e_state | grep -Eq 'FULLSCREEN|MAXIMIZED'; }
for request in "wmctrl -i -r $E2E_WINDOW -b add,fullscreen" "wmctrl -i -r $E2E_WINDOW -b add,maximized_vert,maximized_horz" \
               "xdotool windowsize $E2E_WINDOW 800 600"; do
    $request
    e2e_wm_handled
    e2e_wait_for 60 kept || e2e_fail "after $request: client area $(e2e_size) at $(e2e_at), $(e2e_state)"
done
# Where the user moves the window it stays (kept looks for it there), after fullscreen too.
xdotool windowmove "$E2E_WINDOW" 100 100 && e2e_wm_handled
[ "$(e2e_at)" != "$centred" ] || e2e_fail "the window did not move or was moved back"
centred=$(e2e_at) && wmctrl -i -r "$E2E_WINDOW" -b add,fullscreen && e2e_wm_handled
e2e_wait_for 60 kept || e2e_fail "the moved window is at $(e2e_at), $(e2e_size), not at $centred"

# Both closes reach the program before the click that follows them, once the window manager
# has handled them; the click's effect shows that the program went on.
wmctrl -i -a "$E2E_WINDOW"
e2e_wait_for 60 e2e_in_front "$E2E_WINDOW" || e2e_fail "the window is not in front"
xdotool key alt+F4
wmctrl -i -c "$E2E_WINDOW"
e2e_wm_handled
e2e_click_right
e2e_wait_screen 60 noDevice 2-noDevice
e2e_click_right
e2e_wait_exit 60
