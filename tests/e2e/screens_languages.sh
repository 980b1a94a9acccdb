#!/usr/bin/env bash
# The languageChoice, noDevice and readyToUpdate screens in each of the twelve languages, chosen
# in the language list: one run of the updater per language, first without a device, then with
# one arriving.
# Each screenshot is checked for missing glyphs and for text in every block; the window's title
# must be the language's own, whole.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 65536

for ((language = 0; language < 12; ++language)); do
    tag=$(printf "lang-%02d-%s" "$language" "${e2e_table_files[language]}")
    e2e_start_app LANG=en_US.UTF-8
    # English is chosen back from Japanese: a choice that changes nothing redraws nothing,
    # and the window's area under the closed list may not be drawn again in time.
    [ "$language" = 0 ] && e2e_choose_language 11
    e2e_choose_language "$language"
    e2e_wait_stable 5

    title=$(e2e_title)
    wanted=$(e2e_table_text "$language" 3)
    if [ "$title" != "$wanted" ]; then
        e2e_log "$tag: title '$title', expected '$wanted'"
        e2e_failures=$((e2e_failures + 1))
    fi

    # languageChoice: heading, body, the language's name in the box; both buttons.
    e2e_check_text "$(e2e_screenshot "$tag-languageChoice")" \
        20,20,386,13 40,46,366,13 24,81,200,14 310,140,92,12 200,140,92,12

    # noDevice: heading, connection step, update-mode step (13 lower after German's and
    # Italian's two-line connection step), restart step; the button.
    e2e_click_right_button
    e2e_wait_stable 5
    step=52; restart=94
    case $language in 0) restart=81 ;; 2|4) step=65; restart=107 ;; esac
    e2e_check_text "$(e2e_screenshot "$tag-noDevice")" \
        105,20,301,13 105,36,301,13 "105,$step,301,13" "105,$restart,301,13" 310,140,92,12

    # readyToUpdate once the device arrives: heading, instruction (Russian's lower), the
    # version lines below it; both buttons.
    e2e_start_devsim --firmware 105
    e2e_wait_for 5 e2e_differs "$E2E_OUT/$tag-noDevice.png" "$E2E_OUT/now.png" || e2e_log "$tag: no readyToUpdate"
    e2e_wait_stable 5
    instruction=36; [ "$language" = 6 ] && instruction=51
    e2e_check_text "$(e2e_screenshot "$tag-readyToUpdate")" \
        20,20,386,13 "40,$instruction,366,13" "60,$((instruction + 31)),366,26" 310,140,92,12 200,140,92,12

    e2e_click_left_button   # Close
    e2e_wait_app_exit 10 || e2e_fail "$tag: the updater did not end on Close"
    e2e_stop_devsim
done

rm -f "$E2E_OUT/now.png"
[ "$e2e_failures" = 0 ] || e2e_fail "$e2e_failures checks failed; screenshots in $E2E_OUT"
e2e_log "all twelve languages render; screenshots in $E2E_OUT"
