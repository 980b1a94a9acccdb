#!/usr/bin/env bash
# A language picked on the first screen changes the texts of every later screen and the
# window's title: French through a whole update (noDevice, readyToUpdate, updating,
# updateComplete), Russian through a failed one (readyToUpdate, updating, updateFailed), and
# Japanese on the bad-file screen. Each screen is read back (OCR) and must hold its texts in the
# chosen language and not in English; the title must be the language's, whole.
set -uo pipefail
source "$(dirname "$0")/harness.sh"

e2e_init
e2e_start_x

# $1 the screenshot's name, $2 the screen, $3 the language.
expect_screen()
{
    e2e_wait_screen 15 "$1" "$2" "$3" || e2e_fail "$1: no $2 screen in language $3"
    e2e_text_lacks_english "$E2E_OUT/$1.txt" "$2" "$3" || e2e_fail "$1: English texts stay on $2"
    local title wanted
    title=$(e2e_title) wanted=$(e2e_table_text "$3" 3)
    [ "$title" = "$wanted" ] || e2e_fail "$1: title '$title', expected '$wanted'"
}

# $1 the language's index, $2 the run's name: starts in English and picks the language.
start_and_pick()
{
    e2e_start_app LANG=en_US.UTF-8
    e2e_wait_screen 10 "$2-0-languageChoice-english" languageChoice 0 || e2e_fail "$2: no English language screen"
    e2e_choose_language "$1"
    expect_screen "$2-1-languageChoice" languageChoice "$1"
}

end_run()
{
    e2e_click_right_button   # OK
    e2e_wait_app_exit 10
    local status=$?
    [ "$status" = 0 ] || e2e_fail "$1: the updater ended with $status"
}

# French, a whole update.
e2e_layout_run_folder --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 300000
start_and_pick 1 fr
e2e_click_right_button   # OK, no device yet
expect_screen fr-2-noDevice noDevice 1
e2e_start_devsim --firmware 105 --delay 15
expect_screen fr-3-readyToUpdate readyToUpdate 1
for version in 1.05 1.23; do
    e2e_text_has_word "$E2E_OUT/fr-3-readyToUpdate.txt" $version || e2e_fail "fr: version $version is not shown"
done
e2e_click_right_button   # Start
expect_screen fr-4-updating updating 1
expect_screen fr-5-updateComplete updateComplete 1
end_run fr
e2e_stop_devsim

# Russian, a transfer that the device fails.
e2e_start_devsim --firmware 105 --delay 10 --wrong-code-at block:200
start_and_pick 6 ru
e2e_click_right_button   # OK
expect_screen ru-2-readyToUpdate readyToUpdate 6
e2e_click_right_button   # Start
expect_screen ru-3-updating updating 6
expect_screen ru-4-updateFailed updateFailed 6
end_run ru
e2e_stop_devsim

# Japanese, without an update file.
e2e_layout_run_folder
start_and_pick 11 ja
e2e_click_right_button   # OK
expect_screen ja-2-badFile badFile 11
end_run ja

e2e_log "French, Russian and Japanese picked on the first screen: every later screen and the title follow"
