#!/usr/bin/env bash
# Without a valid update file OK leads to the bad-file screen, with one button, which ends the
# program with exit code 0: first with no update file at all, then with a file whose header
# does not begin with the project code (a device present, which changes nothing and is sent
# nothing).
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x

# $1: the run's name.
bad_file_run()
{
    e2e_start_app LANG=en_US.UTF-8
    e2e_wait_screen 10 "$1-1-languageChoice" languageChoice || e2e_fail "$1: no language screen"
    e2e_click_right_button   # OK
    e2e_wait_screen 10 "$1-2-badFile" badFile || e2e_fail "$1: no bad-file screen after OK"
    e2e_shows_left_button "$E2E_OUT/$1-2-badFile.png" && e2e_fail "$1: the bad-file screen shows two buttons"
    e2e_shows_right_button "$E2E_OUT/$1-2-badFile.png" || e2e_fail "$1: the bad-file screen shows no button"
    e2e_click_right_button   # its one button
    e2e_wait_app_exit 10
    local status=$?
    [ "$status" = 0 ] || e2e_fail "$1: the updater ended with $status"
}

e2e_layout_run_folder
bad_file_run no-file

e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536 --magic VN383
requests="$E2E_OUT/requests.bin"
rm -f "$requests"
e2e_start_devsim --firmware 105 --log "$requests"
bad_file_run wrong-magic
[ "$(e2e_request_count "$requests")" = 0 ] || e2e_fail "the device was sent requests"

e2e_log "no file and a wrong magic: the bad-file screen, one button, exit code 0"
