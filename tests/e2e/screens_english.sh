#!/usr/bin/env bash
# The screens in English that need no finished transfer: languageChoice, noDevice,
# readyToUpdate, updateFailed (the device refuses the start), and the bad-file screen. Each
# screenshot is checked for missing glyphs and for text in every block. Last, a control: with
# only the Latin fonts visible to the updater, the check must fail on a Japanese screen.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536

buttons_right=310,140,92,12
buttons_left=200,140,92,12

e2e_start_app LANG=en_US.UTF-8
[ "$(e2e_title)" = "Updater Program" ] || e2e_fail "title '$(e2e_title)'"
e2e_check_text "$(e2e_screenshot en-0-languageChoice)" 20,20,386,13 40,46,366,13 24,81,200,14 $buttons_right $buttons_left

e2e_click_right_button   # OK without a device
e2e_wait_stable 5
e2e_check_text "$(e2e_screenshot en-1-noDevice)" 105,20,301,13 105,36,301,13 105,52,301,26 105,81,301,13 $buttons_right

e2e_start_devsim --firmware 105 --wrong-code-at start
e2e_wait_for 5 e2e_differs "$E2E_OUT/en-1-noDevice.png" "$E2E_OUT/now.png" || e2e_log "no readyToUpdate"
e2e_wait_stable 5
e2e_check_text "$(e2e_screenshot en-2-readyToUpdate)" 20,20,386,13 40,36,366,26 60,67,366,26 $buttons_right $buttons_left

e2e_click_right_button   # Start: the device refuses
e2e_wait_for 10 e2e_differs "$E2E_OUT/en-2-readyToUpdate.png" "$E2E_OUT/now.png" || e2e_log "no updateFailed"
e2e_wait_stable 10
e2e_check_text "$(e2e_screenshot en-5-updateFailed)" 105,20,301,13 105,36,301,13 105,52,301,26 105,81,301,13 $buttons_right
e2e_click_right_button   # OK ends the program
e2e_wait_app_exit 10 || e2e_fail "the updater did not end on OK"
e2e_stop_devsim

# Without an update file every screen after the first is the bad-file screen.
e2e_layout_run_folder
e2e_start_app LANG=en_US.UTF-8
e2e_click_right_button
e2e_wait_stable 5
e2e_check_text "$(e2e_screenshot en-badUpdateFile)" 105,20,301,13 $buttons_right
e2e_click_right_button
e2e_wait_app_exit 10 || e2e_fail "the updater did not end on OK"

# Control: the Japanese first screen with the CJK fonts out of the updater's sight draws no
# Japanese text, and the check must say so.
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536
e2e_start_app LANG=ja_JP.UTF-8 JUCE_FONT_PATH=/usr/share/fonts/truetype/liberation
control=$(e2e_screenshot control-japanese-without-cjk-fonts)
if "$E2E_GLYPHCHECK" "$control" 20,20,386,13 40,46,366,13 >&2; then
    e2e_log "the check passed a screen without its Japanese text"
    e2e_failures=$((e2e_failures + 1))
fi
e2e_stop_app

rm -f "$E2E_OUT/now.png"
[ "$e2e_failures" = 0 ] || e2e_fail "$e2e_failures checks failed; screenshots in $E2E_OUT"
e2e_log "English screens render; screenshots in $E2E_OUT"
