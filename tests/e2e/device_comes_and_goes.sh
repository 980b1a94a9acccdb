#!/usr/bin/env bash
# No device at first: noDevice after OK. A device arrives: readyToUpdate with its version. It
# leaves: noDevice. Another arrives: readyToUpdate with the new one's version. Close ends the
# program with exit code 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536
e2e_start_app LANG=en_US.UTF-8

e2e_wait_screen 10 1-languageChoice languageChoice || e2e_fail "no language screen"
e2e_click_right_button   # OK without a device
e2e_wait_screen 10 2-noDevice noDevice || e2e_fail "no noDevice after OK without a device"
e2e_shows_left_button "$E2E_OUT/2-noDevice.png" && e2e_fail "noDevice shows two buttons"

e2e_start_devsim --firmware 105
e2e_wait_screen 10 3-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate when the device arrived"
e2e_text_has_word "$E2E_OUT/3-readyToUpdate.txt" 1.05 || e2e_fail "the device's version 1.05 is not shown"
e2e_text_has_word "$E2E_OUT/3-readyToUpdate.txt" 1.23 || e2e_fail "the file's version 1.23 is not shown"

e2e_stop_devsim
e2e_wait_screen 10 4-noDevice noDevice || e2e_fail "no noDevice when the device left"

e2e_start_devsim --firmware 207 --type 0x15
e2e_wait_screen 10 5-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate when another device arrived"
e2e_text_has_word "$E2E_OUT/5-readyToUpdate.txt" 2.07 || e2e_fail "the new device's version 2.07 is not shown"

e2e_click_left_button   # Close
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after Close"
e2e_log "noDevice and readyToUpdate follow the device; exit code 0"
