#!/usr/bin/env bash
# The main road: the language screen, OK, readyToUpdate with the device's and the file's
# versions, Start, updating with a moving bar, updateComplete; the device then holds exactly
# the update file, and OK ends the program with exit code 0.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
file="$E2E_RUN/vn382_v123.upd"
received="$E2E_OUT/received.bin"
rm -f "$received"
e2e_layout_run_folder --out "$file" --version 123 --size 300000 --seed 7
e2e_start_devsim --firmware 105 --delay 15 --save "$received"
e2e_start_app LANG=en_US.UTF-8

e2e_wait_screen 10 1-languageChoice languageChoice || e2e_fail "no language screen"
e2e_click_right_button   # OK: the device is there
e2e_wait_screen 10 2-readyToUpdate readyToUpdate || e2e_fail "no readyToUpdate after OK"
e2e_text_has_word "$E2E_OUT/2-readyToUpdate.txt" 1.05 || e2e_fail "the device's version 1.05 is not shown"
e2e_text_has_word "$E2E_OUT/2-readyToUpdate.txt" 1.23 || e2e_fail "the file's version 1.23 is not shown"
e2e_shows_left_button "$E2E_OUT/2-readyToUpdate.png" && e2e_shows_right_button "$E2E_OUT/2-readyToUpdate.png" \
    || e2e_fail "readyToUpdate does not show Close and Start"

e2e_click_right_button   # Start
e2e_wait_screen 10 3-updating updating || e2e_fail "no updating screen after Start"
e2e_shows_left_button "$E2E_OUT/3-updating.png" || e2e_shows_right_button "$E2E_OUT/3-updating.png" \
    && e2e_fail "a button shows while updating"

# The bar while the data go out, sampled until the device's first status poll.
fills=()
shot="$E2E_OUT/bar.png"
until grep -q '^transfer' "$E2E_DEVSIM_LOG"; do
    e2e_app_ended && e2e_fail "the updater ended during the transfer"
    import -window "$E2E_WINDOW" "$shot" 2>/dev/null && fills+=("$(e2e_bar_fill "$shot")")
    ((${#fills[@]} < 300)) || e2e_fail "the transfer does not end"
    sleep 0.2
done
e2e_log "bar fill while updating (pixels of 382): ${fills[*]}"
distinct=$(printf '%s\n' "${fills[@]}" | sort -un | wc -l)
printf '%s\n' "${fills[@]}" | sort -c -n 2>/dev/null || e2e_fail "the bar went back"
((distinct >= 3)) || e2e_fail "the bar did not move"

e2e_wait_screen 30 4-updateComplete updateComplete || e2e_fail "no updateComplete"
e2e_shows_left_button "$E2E_OUT/4-updateComplete.png" && e2e_fail "updateComplete shows two buttons"
e2e_shows_right_button "$E2E_OUT/4-updateComplete.png" || e2e_fail "updateComplete shows no OK"
grep '^transfer' "$E2E_DEVSIM_LOG" >&2
cmp "$received" "$file" || e2e_fail "the device's image differs from the update file"

e2e_click_right_button   # OK
e2e_wait_app_exit 10
status=$?
[ "$status" = 0 ] || e2e_fail "the updater ended with $status after OK"
e2e_log "main road: the device holds the update file; exit code 0"
