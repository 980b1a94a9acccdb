#!/usr/bin/env bash
# A device that stops answering in the middle of the data: the block's reply is awaited for
# 3000 ms, then one status poll for 1000 ms (the transfer has failed), then updateFailed. No
# block after the silent one is sent, and OK ends the program with exit code 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 100000
requests="$E2E_OUT/requests.bin"
rm -f "$requests"
silent_block=40
e2e_start_devsim --firmware 105 --delay 5 --silent-from block:$silent_block --log "$requests"
e2e_start_app LANG=en_US.UTF-8

e2e_click_right_button   # OK
e2e_wait_screen 10 2-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate"
e2e_click_right_button   # Start

# Records: start, begin, blocks 0 to K, then the status poll.
block=$(e2e_wait_file_size "$requests" $(( (silent_block + 3) * 1024 )) 20) || e2e_fail "block $silent_block never came"
e2e_wait_screen 5 3-updating updating || e2e_fail "no updating screen"
status_poll=$(e2e_wait_file_size "$requests" $(( (silent_block + 4) * 1024 )) 10) || e2e_fail "no status poll"
[ "$(e2e_request_code "$requests" $((silent_block + 3)))" = 0xF2 ] || e2e_fail "the request after the silent block is no status poll"
# Nothing moves on screen until the status poll's time-out.
import -window "$E2E_WINDOW" "$e2e_tmp/waiting.png"
e2e_wait_for 5 e2e_differs "$e2e_tmp/waiting.png" "$e2e_tmp/now.png" || e2e_fail "the updating screen stays"
failed=$(e2e_now_ms)
e2e_wait_screen 5 4-updateFailed updateFailed || e2e_fail "no updateFailed"

e2e_log "status poll $((status_poll - block)) ms after block $silent_block; updateFailed $((failed - status_poll)) ms after the poll"
((status_poll - block >= 2800 && status_poll - block <= 3600)) || e2e_fail "the block's time-out is not 3000 ms"
((failed - status_poll >= 900 && failed - status_poll <= 1800)) || e2e_fail "the status poll's time-out is not 1000 ms"
[ "$(e2e_request_count "$requests")" = $((silent_block + 4)) ] || e2e_fail "requests after the status poll"

e2e_click_right_button   # OK
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after OK"
e2e_log "silent from block $silent_block: updateFailed after 3000 + 1000 ms, exit code 0"
