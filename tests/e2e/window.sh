#!/usr/bin/env bash
# The main window under xfwm4: its client area, and the component in it, measure 426 x 176,
# centred in the work area; its title is the current language's window title, whole, in the
# property and in the frame; the frame offers no close, minimise, maximise, resize or window
# menu; and a close that the window manager offers anyway (Alt+F4, or a pager's close request)
# does not end the program, while the same close ends an ordinary window (the control).
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536
language=11   # Japanese, the user's language here
title=$(e2e_table_text $language 3)
e2e_start_app LANG=ja_JP.UTF-8
e2e_wait_screen 10 1-languageChoice languageChoice $language || e2e_fail "no language screen"

# Size, and the component over the whole client area: its background reaches every corner.
shot="$E2E_OUT/1-languageChoice.png"
read -r width height < <(xwininfo -id "$E2E_WINDOW" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
[ "$width x $height" = "426 x 176" ] || e2e_fail "client area $width x $height"
[ "$(identify -format '%w x %h' "$shot")" = "426 x 176" ] || e2e_fail "screenshot $(identify -format '%w x %h' "$shot")"
for corner in 0,0 425,0 0,175 425,175; do
    e2e_area_is_background "$shot" "$corner,1,1" || e2e_fail "the component does not reach the corner $corner"
done

# Centred in the work area.
read -r wx wy ww wh < <(xprop -root _NET_WORKAREA | awk -F' = ' '{ split ($2, a, ", "); print a[1], a[2], a[3], a[4] }')
wanted="$((wx + (ww - 426) / 2)),$((wy + (wh - 176) / 2))"
centred() { [ "$(e2e_client_position)" = "$wanted" ]; }
e2e_wait_for 5 centred || e2e_fail "the client area is at $(e2e_client_position), not centred at $wanted"
e2e_log "client area at $(e2e_client_position), centred"

# The title, in the property and as the window manager draws it in the frame.
[ "$(e2e_title)" = "$title" ] || e2e_fail "title '$(e2e_title)', expected '$title'"
frame=$(xwininfo -id "$E2E_WINDOW" -tree | awk '/Parent window id/ { print $4 }')
read -r fx fy fw fh < <(xwininfo -id "$frame" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                                                       /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }')
import -window root -crop "${fw}x${fh}+${fx}+${fy}" +repage "$E2E_OUT/frame.png" 2>/dev/null
top=$(( $(e2e_client_position | cut -d, -f2) - fy ))
convert "$E2E_OUT/frame.png" -crop "${fw}x${top}+0+0" +repage "$E2E_OUT/frame-title.png"
e2e_ocr "$E2E_OUT/frame-title.png" $language
[ "$(perl "$(dirname "$0")/textscore.pl" "$E2E_OUT/frame-title.txt" "$title")" = 1.00 ] \
    || e2e_fail "the frame's title reads '$(cat "$E2E_OUT/frame-title.txt")'"

# What the frame may do, as the program asks (Motif hints: functions, decorations) and as the
# window manager grants it (allowed actions).
read -r flags functions decorations < <(xprop -id "$E2E_WINDOW" _MOTIF_WM_HINTS | grep -o '0x[0-9a-f]*' | head -n 3 | tr '\n' ' ')
e2e_log "Motif hints: flags $flags, functions $functions, decorations $decorations"
(( (flags & 1) && (functions & ~0x4) == 0 )) || e2e_fail "functions beyond moving: $functions"
(( (flags & 2) && (decorations & ~0xa) == 0 )) || e2e_fail "decorations beyond the border and title: $decorations"
allowed=$(xprop -id "$E2E_WINDOW" _NET_WM_ALLOWED_ACTIONS)
e2e_log "$allowed"
grep -Eq 'MINIMIZE|MAXIMIZE|RESIZE' <<<"$allowed" && e2e_fail "the window manager allows more than it should"

# A close through the window manager. The control: an ordinary window closes that way.
xmessage -geometry 200x100+0+0 "control" >"$E2E_OUT/xmessage.log" 2>&1 {e2e_lock_fd}>&- &
control=$!
e2e_pids+=("$control")
e2e_wait_for 10 xdotool search --classname xmessage >/dev/null || e2e_fail "no xmessage window"
wmctrl -i -a "$(xdotool search --classname xmessage | head -n 1)"
xdotool key alt+F4
e2e_wait_for 5 eval '! kill -0 $control' || e2e_fail "Alt+F4 does not close an ordinary window here"
e2e_forget_pid "$control"

wmctrl -i -a "$E2E_WINDOW"
e2e_wait_for 5 e2e_app_in_front || e2e_fail "the updater is not in front"
xdotool key alt+F4
wmctrl -i -c "$E2E_WINDOW"
# The window manager handles its requests in order: once it has made the window sticky it has
# sent both closes, which reach the program before the click that follows. The click's effect
# shows that the program has handled them and goes on.
wmctrl -i -r "$E2E_WINDOW" -b add,sticky
sticky() { xprop -id "$E2E_WINDOW" _NET_WM_STATE | grep -q STICKY; }
e2e_wait_for 5 sticky || e2e_fail "the window manager does not answer"
e2e_click_right_button   # OK, without a device
e2e_wait_screen 10 2-noDevice noDevice $language || e2e_fail "the updater does not go on after the closes"
e2e_app_ended && e2e_fail "the updater ended on a close through the window manager"

e2e_click_right_button   # Close
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after Close"
e2e_log "window: 426 x 176, centred, titled, no frame buttons, closes refused"
