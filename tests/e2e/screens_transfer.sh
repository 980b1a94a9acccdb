#!/usr/bin/env bash
# The screens of a transfer in English: updating (with its progress bar) while a slow device
# takes the file, then updateComplete. Exits 77 (skipped) when this build sends the device
# nothing at all on Start, i.e. has no transfer yet; any transfer must reach both screens.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 262144

requests="$E2E_OUT/requests.bin"
rm -f "$requests"
e2e_start_devsim --firmware 105 --delay 20 --log "$requests"
e2e_start_app LANG=en_US.UTF-8
e2e_click_right_button   # OK: the device is there
e2e_wait_stable 5
ready=$(e2e_screenshot en-2-readyToUpdate-transfer)

e2e_click_right_button   # Start
e2e_wait_for 10 e2e_differs "$ready" "$E2E_OUT/now.png" || e2e_fail "Start changed nothing"
sleep 1

if [ ! -s "$requests" ]; then
    e2e_wait_stable 5
    e2e_screenshot en-after-start-without-transfer >/dev/null
    e2e_log "SKIPPED: this build sent the device nothing on Start (no transfer yet)"
    exit 77
fi

e2e_check_text "$(e2e_screenshot en-3-updating 0)" 20,20,386,13 40,46,366,13
[ "$(e2e_pixel 200 88)" != "$e2e_background" ] || e2e_fail "no progress bar while updating"
e2e_wait_for 60 grep -q '^transfer' "$E2E_DEVSIM_LOG" || e2e_fail "the transfer did not end"
e2e_wait_for 20 e2e_pixel_is 200 88 "$e2e_background" || e2e_fail "the progress bar stays"
e2e_wait_stable 10
e2e_check_text "$(e2e_screenshot en-4-updateComplete)" 20,20,386,13 310,140,92,12

e2e_click_right_button   # OK ends the program
e2e_wait_app_exit 10 || e2e_fail "the updater did not end on OK"

rm -f "$E2E_OUT/now.png"
[ "$e2e_failures" = 0 ] || e2e_fail "$e2e_failures checks failed; screenshots in $E2E_OUT"
e2e_log "transfer screens render; screenshots in $E2E_OUT"
