# Harness of the end-to-end tests, sourced by their scripts (bash): a private X server with a
# window manager, simulated devices on a private bus, a run folder with the updater and its
# update file, and the updater itself, driven with xdotool and photographed with ImageMagick;
# its texts are read back with tesseract (OCR) and scored against the string tables.
#
# Everything it starts is recorded and stopped by e2e_stop_all (installed as the EXIT trap by
# e2e_init), by process id only. The updater allows one running copy per machine: every ctest
# that sources this file must carry RESOURCE_LOCK vn382_app.
#
# Needs: E2E_APP (the updater executable), E2E_DEVSIM, E2E_MKUPDATE, E2E_GLYPHCHECK (the
# screenshot check); E2E_OUT (a folder for the screenshots and logs, created).
# Sets: DISPLAY, MORVANTX_BUS (= E2E_BUS), E2E_RUN, E2E_WINDOW, E2E_APP_PID.

e2e_pids=()
e2e_tmp=""
e2e_app_runs=0
e2e_devsim_runs=0

e2e_log() { echo "[e2e $(date +%T)] $*" >&2; }
# Fails the script, leaving a screenshot of the whole screen beside the others.
e2e_fail()
{
    e2e_log "FAIL: $*"
    if [ -n "${DISPLAY:-}" ] && [ -n "${E2E_OUT:-}" ]; then
        import -window root "$E2E_OUT/failed-screen.png" 2>/dev/null
        xprop -root _NET_CLIENT_LIST_STACKING _NET_ACTIVE_WINDOW >"$E2E_OUT/failed-windows.txt" 2>&1
        xwininfo -root -tree >>"$E2E_OUT/failed-windows.txt" 2>&1
    fi
    exit 1
}

# The UTF-8 text of a TextId in a language's string table ($E2E_TEXTS/<file>.txt): the entry
# of TextId n stands on line n + 5 of the table, between double quotes.
e2e_table_files=(english french german spanish italian dutch russian portuguese
                 chinese_simplified chinese_traditional korean japanese)
e2e_table_text()
{
    sed -n "$(($2 + 5))p" "${E2E_TEXTS:?}/${e2e_table_files[$1]}.txt" | tr -d '\r' | sed 's/^"//; s/"$//'
}

#===============================================================================
# Set-up and tear-down

# Makes the private folders and installs the clean-up. Call first.
e2e_init()
{
    : "${E2E_APP:?} ${E2E_DEVSIM:?} ${E2E_MKUPDATE:?} ${E2E_OUT:?}"
    mkdir -p "$E2E_OUT"
    local tool
    for tool in Xvfb xfwm4 dbus-daemon xdotool xprop xwininfo xmessage wmctrl import convert compare \
                tesseract perl flock; do
        command -v "$tool" >/dev/null || e2e_fail "$tool is missing (scripts/install-deps.sh installs it)"
    done
    e2e_tmp=$(mktemp -d "${TMPDIR:-/tmp}/vn382-e2e.XXXXXX")
    E2E_BUS="$e2e_tmp/bus"
    E2E_RUN="$e2e_tmp/run"
    mkdir -m 700 "$E2E_BUS"
    mkdir "$E2E_RUN"
    export MORVANTX_BUS="$E2E_BUS"
    trap e2e_stop_all EXIT
    trap 'e2e_log "stopped"; exit 130' INT TERM

    # RESOURCE_LOCK keeps one ctest from running two of these scripts at once; this lock does
    # the same across build folders and worktrees of one machine (the updater's own one-copy
    # lock is machine-wide too). It goes with this shell; the children close it.
    exec {e2e_lock_fd}>>"${E2E_MACHINE_LOCK:-/var/tmp/vn382-e2e.lock}"
    if ! flock -n "$e2e_lock_fd"; then
        e2e_log "waiting for another end-to-end run on this machine"
        flock -w "${E2E_LOCK_WAIT:-300}" "$e2e_lock_fd" || e2e_fail "another end-to-end run holds the machine"
    fi

    # A watchdog well inside ctest's time-out, so that a stuck script still cleans up. It
    # waits in the shell's own read (no child process to leave behind).
    local fifo="$e2e_tmp/watchdog" limit=${E2E_TIME_LIMIT:-240}
    mkfifo "$fifo"
    ( exec 4<>"$fifo"; read -r -t "$limit" -u 4; e2e_log "time limit of $limit s reached"; kill -TERM $$ ) {e2e_lock_fd}>&- &
    e2e_pids+=("$!")
}

# Stops, newest first, everything this script started, then removes its folders.
e2e_stop_all()
{
    local i
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; --i)); do
        e2e_stop_pid "${e2e_pids[i]}"
    done
    e2e_pids=()
    [ -n "$e2e_tmp" ] && rm -rf "$e2e_tmp"
    e2e_tmp=""
}

# SIGTERM, then SIGKILL after two seconds, to one process this script started.
e2e_stop_pid()
{
    local pid=$1 n
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    kill -TERM "$pid" 2>/dev/null
    for ((n = 0; n < 20; ++n)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

e2e_forget_pid()
{
    local keep=() p
    for p in "${e2e_pids[@]}"; do [ "$p" = "$1" ] || keep+=("$p"); done
    e2e_pids=("${keep[@]}")
}

# Waits up to $1 seconds (tenths allowed) for the command after it to succeed.
e2e_wait_for()
{
    local deadline
    deadline=$(( $(date +%s%N) / 1000000 + $(awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }') ))
    shift
    until "$@" 2>/dev/null; do
        (( $(date +%s%N) / 1000000 < deadline )) || return 1
        sleep 0.1
    done
}

#===============================================================================
# X server and window manager

# Starts Xvfb on a display number it picks itself, then xfwm4 with a D-Bus session bus of its
# own (xfwm4 needs one for its settings; the accessibility bridge is kept off so that nothing
# outlives the bus).
e2e_start_x()
{
    local fifo="$e2e_tmp/fd3" display address
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$E2E_OUT/xvfb.log" 2>&1 {e2e_lock_fd}>&- &
    e2e_pids+=("$!")
    read -r -t 10 display <"$fifo" || e2e_fail "Xvfb gave no display number"
    export DISPLAY=":$display"
    e2e_wait_for 10 xdpyinfo >/dev/null || e2e_fail "Xvfb on $DISPLAY does not answer"

    dbus-daemon --session --nofork --print-address=3 3>"$fifo" >"$E2E_OUT/dbus.log" 2>&1 {e2e_lock_fd}>&- &
    e2e_pids+=("$!")
    read -r -t 10 address <"$fifo" || e2e_fail "dbus-daemon gave no address"

    DBUS_SESSION_BUS_ADDRESS="$address" NO_AT_BRIDGE=1 xfwm4 --compositor=off >"$E2E_OUT/xfwm4.log" 2>&1 {e2e_lock_fd}>&- &
    e2e_pids+=("$!")
    e2e_wait_for 10 e2e_has_window_manager || e2e_fail "xfwm4 did not start (see xfwm4.log)"
    e2e_log "X on $DISPLAY with xfwm4"
}

e2e_has_window_manager()
{
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"
}

#===============================================================================
# Simulated devices

# Starts devsim on the private bus with the given options and waits until it listens. Sets
# E2E_DEVSIM_PID and E2E_DEVSIM_LOG (its output, $E2E_OUT/devsim-<n>.log).
e2e_start_devsim()
{
    E2E_DEVSIM_LOG="$E2E_OUT/devsim-$((++e2e_devsim_runs)).log"
    "$E2E_DEVSIM" --bus "$E2E_BUS" "$@" >"$E2E_DEVSIM_LOG" 2>&1 {e2e_lock_fd}>&- &
    E2E_DEVSIM_PID=$!
    e2e_pids+=("$E2E_DEVSIM_PID")
    e2e_wait_for 5 grep -q '^ready' "$E2E_DEVSIM_LOG" || e2e_fail "devsim did not become ready"
}

# The device leaves the bus (devsim ends on SIGTERM and removes its socket).
e2e_stop_devsim()
{
    e2e_stop_pid "${1:-$E2E_DEVSIM_PID}"
    e2e_forget_pid "${1:-$E2E_DEVSIM_PID}"
}

#===============================================================================
# Run folder and the updater

# Copies the updater into the run folder (it looks for its update file beside itself) and
# writes an update file there with mkupdate's options (none: no update file).
e2e_layout_run_folder()
{
    rm -rf "${E2E_RUN:?}"/*
    cp "$E2E_APP" "$E2E_RUN/"
    if [ $# -gt 0 ]; then
        "$E2E_MKUPDATE" "$@" >/dev/null || e2e_fail "mkupdate $*"
    fi
}

# Starts the updater from the run folder with the given environment assignments (e.g. LANG=...)
# and waits for its window. Sets E2E_APP_PID and E2E_WINDOW.
e2e_start_app()
{
    local app="$E2E_RUN/$(basename "$E2E_APP")"
    e2e_app_runs=$((e2e_app_runs + 1))
    # A copy started by anything else on this machine would make this one a second start.
    e2e_wait_for 60 e2e_no_running_copy || e2e_fail "another copy of the updater runs on this machine"
    # In the sanitizer build: the X libraries, which JUCE loads and unloads at run time, leave
    # allocations that LeakSanitizer reports against unknown modules at exit. The leak check
    # stays with the headless tests; the exit status here must be the program's own.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        env "$@" "$app" >"$E2E_OUT/app-$e2e_app_runs.log" 2>&1 {e2e_lock_fd}>&- &
    E2E_APP_PID=$!
    e2e_pids+=("$E2E_APP_PID")
    # The window is made again when it takes the native title bar: wait for the one that stays.
    e2e_wait_for 15 e2e_find_lasting_window || e2e_fail "no window of the updater"
}

# Whether no copy of the updater holds its one-copy lock (a POSIX lock on a file of JUCE's,
# listed in /proc/locks by the file's inode).
e2e_no_running_copy()
{
    local inode
    inode=$(stat -c %i /var/tmp/juceAppLock_VN382UpdateProgram 2>/dev/null) || return 0
    ! grep -q ":$inode " /proc/locks
}

# The mapped 426 x 176 window of the updater, if it is the same one 0.5 s later.
e2e_find_lasting_window()
{
    local first
    first=$(e2e_find_window) || return 1
    sleep 0.5
    E2E_WINDOW=$(e2e_find_window) && [ "$E2E_WINDOW" = "$first" ]
}

e2e_find_window()
{
    local id
    kill -0 "$E2E_APP_PID" || return 1
    for id in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null); do
        if xwininfo -id "$id" 2>/dev/null | grep -q "Width: 426" \
           && xwininfo -id "$id" 2>/dev/null | grep -q "Height: 176"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# Waits up to $1 seconds for the updater to end; its exit status, or 124.
e2e_wait_app_exit()
{
    e2e_wait_for "$1" e2e_app_ended || return 124
    wait "$E2E_APP_PID"
    local status=$?
    e2e_forget_pid "$E2E_APP_PID"
    return $status
}

e2e_app_ended() { ! kill -0 "$E2E_APP_PID"; }

e2e_stop_app()
{
    e2e_stop_pid "$E2E_APP_PID"
    e2e_forget_pid "$E2E_APP_PID"
}

# The window's title.
e2e_title() { xdotool getwindowname "$E2E_WINDOW"; }

#===============================================================================
# Driving and looking

# Clicks at (x, y) of the updater's client area (426 x 176).
e2e_click()
{
    xdotool mousemove --window "$E2E_WINDOW" "$1" "$2" click 1
    sleep 0.3
}

# The named buttons and the language box of the client area.
e2e_click_right_button() { e2e_click 356 146; }   # (306, 136, 100, 20): OK, Start, Close
e2e_click_left_button() { e2e_click 246 146; }    # (196, 136, 100, 20): Cancel, Close

# Picks a language by its place in the language list: opens the list, then clicks the item
# (items are 20 pixels high in a pop-up right below the box at (20, 78, 386, 20)). The list
# takes a click only some time after it opened; it must be gone afterwards.
e2e_choose_language()
{
    e2e_click 200 88
    e2e_wait_for 5 e2e_has_popup || e2e_fail "the language list did not open"
    sleep 0.5
    e2e_click 200 $((100 + 20 * $1 + 10))
    e2e_wait_for 5 e2e_has_no_popup || e2e_fail "the language list stays open"
}

# Whether the updater shows a window besides its main one (the language list).
e2e_has_popup()
{
    xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null | grep -vqx "$E2E_WINDOW"
}

e2e_has_no_popup() { ! e2e_has_popup; }

# Saves the updater's client area as $E2E_OUT/<name>.png after $2 seconds (0.3) and prints
# the file's path.
e2e_screenshot()
{
    local file="$E2E_OUT/$1.png"
    sleep "${2:-0.3}"
    rm -f "$file"
    import -window "$E2E_WINDOW" "$file" 2>/dev/null || e2e_log "no screenshot $1"
    echo "$file"
}

# Waits up to $1 seconds until the client area differs from the PNG $2 and stops changing.
e2e_wait_screen_change()
{
    local timeout=$1 before=$2 now="$e2e_tmp/now.png"
    e2e_wait_for "$timeout" e2e_differs "$before" "$now"
}

e2e_differs()
{
    import -window "$E2E_WINDOW" "$2" 2>/dev/null || return 1
    ! compare -metric AE "$1" "$2" null: 2>/dev/null
}

# Waits up to $1 seconds until two screenshots 0.3 s apart are the same.
e2e_wait_stable()
{
    local a="$e2e_tmp/stable-a.png" b="$e2e_tmp/stable-b.png"
    e2e_wait_for "$1" e2e_same_twice "$a" "$b"
}

e2e_same_twice()
{
    import -window "$E2E_WINDOW" "$1" 2>/dev/null || return 1
    sleep 0.3
    import -window "$E2E_WINDOW" "$2" 2>/dev/null || return 1
    compare -metric AE "$1" "$2" null: 2>/dev/null
}

# Checks a screenshot for text that did not render (E2E_GLYPHCHECK; see GlyphCheck.cpp): the
# PNG, then areas X,Y,W,H of its client area that must hold text. A failure is counted in
# e2e_failures and reported, and the script goes on.
e2e_failures=0
e2e_check_text()
{
    if ! "${E2E_GLYPHCHECK:?}" "$@" >&2; then
        e2e_failures=$((e2e_failures + 1))
    fi
}

# The colour of the client area's pixel (x, y) as R,G,B (0 to 255).
e2e_pixel()
{
    local shot="$e2e_tmp/pixel.png" p="p{$1,$2}"
    import -window "$E2E_WINDOW" "$shot" 2>/dev/null || return 1
    convert "$shot" -format "%[fx:round(255*$p.r)],%[fx:round(255*$p.g)],%[fx:round(255*$p.b)]" info:
}

e2e_pixel_is() { [ "$(e2e_pixel "$1" "$2")" = "$3" ]; }

# The window's background colour.
e2e_background="234,234,234"

#===============================================================================
# Reading the screen's texts (OCR)

# The TextIds that each screen shows, as the program's screen table lists them (blocks, then
# the buttons' labels).
declare -A e2e_screen_ids=(
    [languageChoice]="8 9 4 6"
    [noDevice]="20 21 22 23 7"
    [readyToUpdate]="12 24 13 14 7 5"
    [updating]="15 16"
    [updateComplete]="17 4"
    [updateFailed]="18 21 22 23 4"
    [badFile]="10 4")

# What tesseract reads a language's screen with; Latin words (the device's name and buttons)
# stand in every language's texts, so English comes along.
e2e_ocr_languages()
{
    case $1 in
        1) echo fra+eng ;;
        6) echo rus+eng ;;
        11) echo jpn+eng ;;
        0|2|3|4|5|7) echo eng ;;
        *) e2e_fail "no OCR set up for language $1" ;;
    esac
}

# Reads the text of a screenshot (PNG $1) in language $2; the text goes to <PNG>.txt. Small
# text reads best when enlarged, but no one size reads every string: two readings, at three
# and five times the size, go one after the other into the file.
e2e_ocr()
{
    local big="$e2e_tmp/ocr.png" out="${1%.png}.txt" scale languages
    languages=$(e2e_ocr_languages "$2")
    : >"$out"
    for scale in 300 500; do
        convert "$1" -colorspace Gray -resize "$scale%" "$big" || return 1
        tesseract "$big" - --psm 6 -l "$languages" 2>/dev/null >>"$out" || return 1
    done
}

# Scores, one line per text, of the texts of screen $3 in language $2 in the OCR text $1
# (textscore.pl: the share of each text's character pairs that were read).
e2e_scores()
{
    local id texts=()
    for id in ${e2e_screen_ids[$3]:?unknown screen $3}; do
        texts+=("$(e2e_table_text "$2" "$id")")
    done
    perl "$(dirname "${BASH_SOURCE[0]}")/textscore.pl" "$1" "${texts[@]}"
}

# Whether the OCR text $1 holds every text of screen $3 in language $2 (each at least 0.8).
e2e_text_shows()
{
    local scores
    scores=$(e2e_scores "$@") || return 1
    awk '$1 < 0.8 { bad = 1 } END { exit bad }' <<<"$scores"
}

# Takes screenshots until one shows screen $3 (languageChoice, noDevice, readyToUpdate,
# updating, updateComplete, updateFailed, badFile) in language $4 (default 0, English), for up
# to $1 seconds. The last screenshot stays as $E2E_OUT/$2.png, its text as $2.txt.
e2e_wait_screen()
{
    local timeout=$1 name=$2 screen=$3 language=${4:-0} shot="$E2E_OUT/$2.png"
    if ! e2e_wait_for "$timeout" e2e_shot_shows "$shot" "$screen" "$language"; then
        e2e_log "no $screen screen in language $language within $timeout s; last read ($shot):"
        cat "${shot%.png}.txt" >&2
        e2e_log "scores of its texts: $(e2e_scores "${shot%.png}.txt" "$language" "$screen" | tr '\n' ' ')"
        return 1
    fi
}

e2e_shot_shows()
{
    import -window "$E2E_WINDOW" "$1" 2>/dev/null || return 1
    e2e_ocr "$1" "$3" && e2e_text_shows "${1%.png}.txt" "$3" "$2"
}

# Whether the OCR text $1 of screen $2 in language $3 lacks the English texts of that screen:
# none scores 0.8 or more, except those that the language's own text holds nearly as well
# (OK; "Version" and "Ver." in French).
e2e_text_lacks_english()
{
    local id english own="$e2e_tmp/own.txt" score="$(dirname "${BASH_SOURCE[0]}")/textscore.pl"
    for id in ${e2e_screen_ids[$2]:?unknown screen $2}; do
        english=$(e2e_table_text 0 "$id")
        e2e_table_text "$3" "$id" >"$own"
        if awk '{ exit !($1 < 0.5) }' < <(perl "$score" "$own" "$english") \
           && awk '{ exit !($1 >= 0.8) }' < <(perl "$score" "$1" "$english"); then
            e2e_log "the English text '$english' is still read"
            return 1
        fi
    done
}

# Whether the OCR text $1 holds the word $2 exactly (a version such as 1.05).
e2e_text_has_word() { tr -s ' \t' '\n\n' <"$1" | grep -qxF -- "$2"; }

#===============================================================================
# Widgets

# Whether the area X,Y,W,H of the screenshot $1 holds nothing but the window's background.
e2e_area_is_background()
{
    local colours
    colours=$(convert "$1" -crop "$(e2e_geometry "$2")" +repage -depth 8 -unique-colors txt:- | grep '^[0-9]') || return 1
    [ "$(wc -l <<<"$colours")" = 1 ] && grep -qF "(${e2e_background})" <<<"$colours"
}

e2e_geometry() { local IFS=,; set -- $1; echo "${3}x${4}+${1}+${2}"; }

# The button boxes of the client area, and whether a screenshot shows each.
e2e_right_box=306,136,100,20
e2e_left_box=196,136,100,20
e2e_shows_right_button() { ! e2e_area_is_background "$1" "$e2e_right_box"; }
e2e_shows_left_button() { ! e2e_area_is_background "$1" "$e2e_left_box"; }

# The progress bar's fill in the screenshot $1, in pixels (0 to 382): the grey pixels of a row
# inside the bar (20, 78, 386, 20) above its text.
e2e_bar_fill()
{
    convert "$1" -crop 382x1+22+81 +repage -depth 8 txt:- \
        | awk -F'[(,)]' 'NR > 1 && $3 + 0 > 60 && $3 + 0 < 220 { n++ } END { print n + 0 }'
}

# Milliseconds since the epoch.
e2e_now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Waits up to $3 seconds until the file $1 holds at least $2 bytes; prints the file's last
# change then, in e2e_now_ms's milliseconds (for timings: devsim writes its --log at once).
e2e_wait_file_size()
{
    local deadline=$(( $(e2e_now_ms) + $3 * 1000 ))
    until [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ]; do
        (( $(e2e_now_ms) < deadline )) || return 1
        sleep 0.02
    done
    stat -c %.3Y "$1" | tr -d .
}

# The first byte (the command code) of record $2 (from 0) of a devsim --log file $1, as 0xNN.
e2e_request_code()
{
    printf '0x%02X' "0x$(od -An -tx1 -j $(($2 * 1024)) -N1 "$1" | tr -d ' ')"
}

# The number of 1024-byte records of a devsim --log file.
e2e_request_count() { echo $(( $(stat -c %s "$1") / 1024 )); }

#===============================================================================
# The window manager's view

# The client window that the window manager calls active.
e2e_active_window() { xprop -root _NET_ACTIVE_WINDOW | grep -o '0x[0-9a-f]*' | head -n 1; }

# The managed client windows, bottom to top.
e2e_stacking() { xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*'; }

# The window id $1 (decimal or hex) as xprop writes it.
e2e_hex_id() { printf '0x%x' "$1"; }

# Whether the updater's window is the active one and on top of every other managed window.
e2e_app_in_front()
{
    local id
    id=$(e2e_hex_id "$E2E_WINDOW")
    [ "$(e2e_active_window)" = "$id" ] && [ "$(e2e_stacking | tail -n 1)" = "$id" ]
}

# The client area's place on the screen as X,Y.
e2e_client_position()
{
    xwininfo -id "$E2E_WINDOW" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x "," y }'
}

# Saves what the screen shows where the client area is (whatever window is in front there).
e2e_screen_at_client()
{
    local at
    at=$(e2e_client_position) || return 1
    import -window root -crop "426x176+${at%,*}+${at#*,}" +repage "$1" 2>/dev/null
}

e2e_same_image() { compare -metric AE "$1" "$2" null: 2>/dev/null; }
