#!/usr/bin/env bash
# The system asks the program to quit in the middle of the transfer (SIGINT, as Ctrl-C in the
# terminal that started it): quit wakes the update thread, which fails the block and makes its
# one status poll, whose reply the blocked message thread cannot take, so it waits out the
# poll's 1000 ms and ends; then the program ends with exit code 0. Bound: 2500 ms from the
# signal to the exit (measured here about 1.1 s).
set -uo pipefail
source "$(dirname "$0")/harness.sh"

bound_ms=2500

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 300000
requests="$E2E_OUT/requests.bin"
rm -f "$requests"
e2e_start_devsim --firmware 105 --delay 15 --log "$requests"
e2e_start_app LANG=en_US.UTF-8

e2e_click_right_button   # OK
e2e_wait_screen 10 2-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate"
e2e_click_right_button   # Start
e2e_wait_screen 10 3-updating updating || e2e_fail "no updating screen after Start"
e2e_wait_file_size "$requests" $((40 * 1024)) 20 >/dev/null || e2e_fail "the transfer does not go on"

asked=$(e2e_now_ms)
kill -INT "$E2E_APP_PID"
e2e_wait_app_exit 10
status=$?
ended=$(e2e_now_ms)
[ "$status" = 124 ] && e2e_fail "the updater did not end within 10 s of the quit"
e2e_log "the updater ended $((ended - asked)) ms after the quit, with $status"
[ "$status" = 0 ] || e2e_fail "exit code $status"
((ended - asked <= bound_ms)) || e2e_fail "the quit took more than $bound_ms ms"

# After the woken block, the one status poll was the last request; no block went out twice.
count=$(e2e_request_count "$requests")
[ "$(e2e_request_code "$requests" $((count - 1)))" = 0xF2 ] || e2e_fail "the last request is no status poll"
[ "$(e2e_request_code "$requests" $((count - 2)))" = 0xF3 ] || e2e_fail "no block before the status poll"
twice=$(for ((i = 0; i < count - 1; ++i)); do
            tail -c +$((i * 1024 + 1)) "$requests" | head -c 1024 | md5sum
        done | sort | uniq -d | wc -l)
[ "$twice" = 0 ] || e2e_fail "a request went out twice"
e2e_log "start, begin, $((count - 3)) blocks, then the status poll"
