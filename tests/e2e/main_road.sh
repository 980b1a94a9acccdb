#!/usr/bin/env bash
# The roads through the real program. The main one: the language screen, a double click on OK,
# which shows readyToUpdate and does not press the Start that appears under the second click,
# Start, the updating screen with a bar that moves, updateComplete; the device then holds
# exactly the update file, and OK ends the program with exit code 0. A device that falls silent
# ends on updateFailed, a bad update file on its own error screen; OK ends either with 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_devsim --firmware 105 --delay 20 --save "$e2e_tmp/received"
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 1-languageChoice
e2e_click 356 146 --repeat 2 --delay 150
e2e_wait_screen 60 readyToUpdate 2-readyToUpdate
sleep 1 # the second click, sent before the screenshot, has long been handled
e2e_shows readyToUpdate 2-still-readyToUpdate || e2e_fail "the double click on OK pressed Start (seen: $e2e_seen)"
e2e_click_right
e2e_wait_screen 60 updating 3-updating
first=$e2e_fill
moved() { e2e_look 4-moving && [ "$e2e_seen" = "${e2e_screens[updating]}" ] && ((e2e_fill > first)); }
e2e_wait_for 60 moved || e2e_fail "the bar did not move from $first pixels while updating"
e2e_log "the bar moved from $first to $e2e_fill pixels"
e2e_wait_screen 120 updateComplete 5-updateComplete
cmp "$e2e_tmp/received" "$E2E_RUN/vn382_v123.upd" || e2e_fail "the device holds another image than the update file"
e2e_click_right
e2e_wait_exit 60

kill "$e2e_devsim_pid"
e2e_start_devsim --silent-from block:3
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 6-languageChoice
e2e_click_right
e2e_wait_screen 60 readyToUpdate 7-readyToUpdate
e2e_click_right
e2e_wait_screen 60 updateFailed 8-updateFailed
e2e_click_right
e2e_wait_exit 60

echo "not an update" >"$E2E_RUN/vn382_v123.upd"
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 9-languageChoice
e2e_click_right
e2e_wait_screen 60 badFile 10-badFile
e2e_click_right
e2e_wait_exit 60
