#!/usr/bin/env bash
# A language picked through the pop-up list of the first screen: Russian, picked from English,
# gives the Russian title, leaves the window active with the keyboard focus, and a readyToUpdate
# screen drawn as the program draws it when started in Russian. Another program's window made
# active while the list is open, by a click or by the window manager, stays active; Escape
# leaves the updater active.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_devsim --firmware 105
e2e_start_app LANG=ru_RU.UTF-8
e2e_wait_screen 60 languageChoice 1-started-russian
e2e_click_right
e2e_wait_screen 60 readyToUpdate 2-started-russian
e2e_click_left
e2e_wait_exit 60

e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 3-started-english
e2e_click 200 88
popup() { popup=$(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null | grep -vx "$E2E_WINDOW"); }
e2e_wait_for 60 popup || e2e_fail "the language list did not open"
read -r x y height < <(xwininfo -id "$popup" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                                                     /Height:/ { h = $2 } END { print x, y, h }')
# Russian is the seventh of twelve. The list takes a click only a moment after it opened; a
# click that comes too early changes nothing and the next one lands on the same item.
pick() { xdotool mousemove $((x + 50)) $((y + height * 13 / 24)) click 1; e2e_wait_for 2 eval '! popup'; }
e2e_wait_for 60 pick || e2e_fail "the language list does not take the click"
e2e_wait_for 60 eval '[ "$(e2e_title)" = "$(e2e_table_title russian)" ]' || e2e_fail "title '$(e2e_title)'"
e2e_wait_for 60 eval 'e2e_in_front "$E2E_WINDOW" && [ "$(xdotool getwindowfocus)" = "$E2E_WINDOW" ]' \
    || e2e_fail "the window is not active with the keyboard focus once the list has closed"

e2e_spawn xmessage xmessage -geometry 300x100+10+10 "another program's window"
e2e_wait_for 60 eval 'other=$(xdotool search --classname xmessage 2>/dev/null)' || e2e_fail "no xmessage window"
for road in "xdotool mousemove --window $other 150 50 click 1" "wmctrl -i -a $other" "xdotool key Escape"; do
    wmctrl -i -a "$E2E_WINDOW"
    e2e_wait_for 60 e2e_in_front "$E2E_WINDOW" || e2e_fail "the window is not in front"
    e2e_click 200 88
    e2e_wait_for 60 popup || e2e_fail "the language list did not open"
    sleep 0.5
    $road
    e2e_wait_for 60 eval '! popup' || e2e_fail "$road: the list stays open"
    sleep 1
    [ "$road" = "xdotool key Escape" ] || e2e_in_front "$other" || e2e_fail "$road: the updater took the focus back"
done
e2e_wait_for 60 e2e_in_front "$E2E_WINDOW" || e2e_fail "the window is not active after Escape"
e2e_click_right
e2e_wait_screen 60 readyToUpdate 4-picked-russian
e2e_same_image "$E2E_OUT/2-started-russian.png" "$E2E_OUT/4-picked-russian.png" \
    || e2e_fail "readyToUpdate after the pick differs from a start in Russian"
e2e_click_left
e2e_wait_exit 60
