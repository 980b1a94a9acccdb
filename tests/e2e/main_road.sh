#!/usr/bin/env bash
# The main road through the real program: the language screen, OK, readyToUpdate, Start, the
# updating screen with a bar that moves, updateComplete; the device then holds exactly the
# update file, and OK ends the program with exit code 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_devsim --firmware 105 --delay 20 --save "$e2e_tmp/received"
e2e_start_app LANG=en_US.UTF-8
e2e_wait_screen 60 languageChoice 1-languageChoice
e2e_click_right
e2e_wait_screen 60 readyToUpdate 2-readyToUpdate
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
