#!/usr/bin/env bash
# The device leaves the bus in the middle of the transfer: the removal wakes the update thread
# at once, its status poll reaches nobody and times out (1000 ms), and updateFailed follows;
# nothing more is sent, and OK still ends the program cleanly with exit code 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 300000
requests="$E2E_OUT/requests.bin"
rm -f "$requests"
unplug_block=120
e2e_start_devsim --firmware 105 --delay 10 --unplug-at-block $unplug_block --log "$requests"
e2e_start_app LANG=en_US.UTF-8

e2e_click_right_button   # OK
e2e_wait_screen 10 2-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate"
e2e_click_right_button   # Start
e2e_wait_screen 10 3-updating updating || e2e_fail "no updating screen after Start"

# start, begin, blocks 0 to K: the device leaves on block K.
unplugged=$(e2e_wait_file_size "$requests" $(( (unplug_block + 3) * 1024 )) 30) || e2e_fail "block $unplug_block never came"
e2e_wait_for 5 grep -q '^unplugged' "$E2E_DEVSIM_LOG" || e2e_fail "devsim did not leave the bus"
e2e_wait_screen 10 4-updateFailed updateFailed || e2e_fail "no updateFailed after the device left"
failed=$(e2e_now_ms)
# Woken by the removal, the thread fails within the status poll's 1000 ms; a thread left to
# the block's own time-out would take 3000 ms more.
e2e_log "updateFailed $((failed - unplugged)) ms after block $unplug_block went out"
((failed - unplugged < 3000)) || e2e_fail "the removal did not wake the update thread"
[ "$(e2e_request_count "$requests")" = $((unplug_block + 3)) ] || e2e_fail "requests after the device left"
e2e_shows_left_button "$E2E_OUT/4-updateFailed.png" && e2e_fail "updateFailed shows two buttons"

e2e_click_right_button   # OK
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after OK"
e2e_log "unplugged at block $unplug_block: updateFailed, exit code 0"
