# Sourced by the end-to-end scripts: a private Xvfb with xfwm4, the simulated device on a
# private bus, a run folder with the updater and its update file, and the updater itself,
# driven with xdotool and recognised by what it draws. Everything started here is stopped by
# its pid on exit. Needs E2E_APP, E2E_DEVSIM, E2E_MKUPDATE, E2E_TEXTS and E2E_OUT (created).

# The script runs again with a /var/tmp and a network namespace of its own, which nothing of
# another run can reach (Xvfb's abstract socket among them), and with a folder of its own for
# the keymap that Xvfb compiles under a name that another Xvfb may use. The updater's one-copy
# lock is in the runtime folder that e2e_init makes.
if [ -z "${E2E_PRIVATE:-}" ]; then
    userns=()
    [ "$(id -u)" = 0 ] || userns=(--user --map-root-user)
    exec env E2E_PRIVATE=1 unshare "${userns[@]}" --mount --net --propagation private bash -c \
        'mount -t tmpfs none /var/tmp && { [ ! -d /var/lib/xkb ] || mount -t tmpfs none /var/lib/xkb; } && exec bash "$0" "$@"' "$0" "$@"
fi

e2e_pids=()
e2e_log() { echo "[e2e $(date +%T)] $*" >&2; }
e2e_fail()
{
    e2e_log "FAIL: $*"
    [ -n "${DISPLAY:-}" ] && import -window root "$E2E_OUT/failed-screen.png" 2>/dev/null
    exit 1
}

# Runs the command after $1 every half second until it succeeds or $1 seconds have passed.
e2e_wait_for()
{
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.5
    done
}

# Stops everything started here, newest first: SIGTERM, then SIGKILL after five seconds.
e2e_stop_all()
{
    local i pid
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; --i)); do
        pid=${e2e_pids[i]}
        kill -TERM "$pid" 2>/dev/null && timeout 5 tail --pid="$pid" -f /dev/null
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$e2e_tmp"
}

# Starts "$@" in the background with its output in $E2E_OUT/$1.log; sets e2e_pid.
e2e_spawn()
{
    local log="$E2E_OUT/$1.log"
    shift
    "$@" >"$log" 2>&1 &
    e2e_pid=$!
    e2e_pids+=("$e2e_pid")
}

# The private folders, Xvfb on a display that it picks itself, and xfwm4 with a D-Bus session
# of its own. Xvfb must not reset when its last client leaves: a client that connects during
# the reset can hang.
e2e_init()
{
    : "${E2E_APP:?} ${E2E_DEVSIM:?} ${E2E_MKUPDATE:?} ${E2E_TEXTS:?} ${E2E_OUT:?}"
    local tool fd display address
    for tool in Xvfb xfwm4 dbus-daemon xdotool xprop xwininfo xmessage wmctrl import convert; do
        command -v "$tool" >/dev/null || e2e_fail "$tool is missing (scripts/install-deps.sh installs it)"
    done
    mkdir -p "$E2E_OUT"
    e2e_tmp=$(mktemp -d)
    trap e2e_stop_all EXIT
    trap 'e2e_fail "stopped by a signal (time limit?)"' INT TERM
    export MORVANTX_BUS="$e2e_tmp/bus" E2E_RUN="$e2e_tmp/run" XDG_RUNTIME_DIR="$e2e_tmp/runtime"
    mkdir -m 700 "$MORVANTX_BUS" "$XDG_RUNTIME_DIR" && mkdir "$E2E_RUN" && mkfifo "$e2e_tmp/fd" && exec {fd}<>"$e2e_tmp/fd"
    cp "$E2E_APP" "$E2E_RUN/"
    "$E2E_MKUPDATE" --out "$E2E_RUN/vn382_v123.upd" --version 123 --size 300000 >/dev/null || e2e_fail "mkupdate"

    e2e_spawn xvfb Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>&"$fd"
    read -r -t 60 display <&"$fd" || e2e_fail "Xvfb gave no display number"
    export DISPLAY=":$display"
    e2e_wait_for 60 eval 'xprop -root >/dev/null 2>&1' || e2e_fail "Xvfb on $DISPLAY does not answer"
    e2e_spawn dbus dbus-daemon --session --nofork --print-address=3 3>&"$fd"
    read -r -t 60 address <&"$fd" || e2e_fail "dbus-daemon gave no address"
    exec {fd}>&-
    e2e_spawn xfwm4 env DBUS_SESSION_BUS_ADDRESS="$address" NO_AT_BRIDGE=1 xfwm4 --compositor=off
    e2e_wait_for 60 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>&1 | grep -q "window id"' \
        || e2e_fail "xfwm4 did not start: $(cat "$E2E_OUT/xfwm4.log")"
}

# Starts devsim on the private bus with the options "$@" and waits until it listens; sets
# e2e_devsim_pid.
e2e_start_devsim()
{
    e2e_spawn devsim "$E2E_DEVSIM" --bus "$MORVANTX_BUS" "$@"
    e2e_devsim_pid=$e2e_pid
    e2e_wait_for 60 grep -q '^ready' "$E2E_OUT/devsim.log" || e2e_fail "devsim is not ready"
}

# Whether no copy of the updater holds its one-copy lock: a lock on its folder in the runtime
# folder, that /proc/locks lists by the folder's device and inode.
e2e_no_running_copy()
{
    local dev inode
    read -r dev inode < <(stat -c '%d %i' "$XDG_RUNTIME_DIR/.VN382UpdateProgram" 2>/dev/null) || return 0
    ! grep -q " $(printf '%02x:%02x:%s' $((dev >> 8 & 0xfff)) $((dev & 0xff | dev >> 12 & 0xfff00)) "$inode") " /proc/locks
}

# Starts the updater from the run folder with the environment "$@" and waits until the window
# manager has framed its window and the client area stands centred in the work area, where
# clicks meant for it land; sets E2E_APP_PID and E2E_WINDOW.
e2e_start_app()
{
    e2e_wait_for 120 e2e_no_running_copy || e2e_fail "an earlier copy of the updater still runs"
    e2e_spawn app env "$@" "$E2E_RUN/$(basename "$E2E_APP")"
    E2E_APP_PID=$e2e_pid
    e2e_wait_for 60 e2e_find_window || e2e_fail "no framed window of the updater"
    e2e_wait_for 60 eval '[ "$(e2e_at)" = "$(e2e_centred)" ]' || e2e_fail "the client area is at $(e2e_at), not centred at $(e2e_centred)"
}

e2e_alive() { kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the updater ended"; }

e2e_find_window()
{
    local id
    e2e_alive
    for id in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null); do
        xprop -id "$id" _NET_FRAME_EXTENTS 2>&1 | grep -Eq '= [0-9]+, [0-9]+, [1-9]' && E2E_WINDOW=$id && return
    done
    return 1
}

# Waits up to $1 seconds for the updater to end with exit code 0.
e2e_wait_exit()
{
    e2e_wait_for "$1" eval '! kill -0 $E2E_APP_PID 2>/dev/null' || e2e_fail "the updater did not end"
    wait "$E2E_APP_PID" || e2e_fail "the updater ended with $?"
}

# Clicks at (x, y) of the client area, the time a person takes to read a screen after the last
# look (a press within the double-click interval of a screen change is taken for part of a double
# click); the right and the left button. Options after x and y go to xdotool's click.
e2e_click() { sleep 0.5; xdotool mousemove --window "$E2E_WINDOW" "$1" "$2" click "${@:3}" 1; }
e2e_click_right() { e2e_click 356 146; }
e2e_click_left() { e2e_click 246 146; }

e2e_title() { xdotool getwindowname "$E2E_WINDOW"; }
# The window title of a string table (App/resources/text/$1.txt).
e2e_table_title() { sed -n 8p "$E2E_TEXTS/$1.txt" | tr -d '\r' | sed 's/^"//; s/"$//'; }

#===============================================================================
# The screens, told apart by what they draw: the warning image (its yellow), the language box
# (white) or the progress bar (black) across the middle, and the left and right buttons (their
# dark lower edges). Beside the image: 0 for one line of text (the bad-file screen), else the
# recovery steps under a heading that reaches across (2, noDevice) or not (1, the error text).
declare -A e2e_screens=([languageChoice]="0 1 1 1" [noDevice]="1 0 0 1 2" [readyToUpdate]="0 0 1 1"
                        [updating]="0 2 0 0" [updateComplete]="0 0 0 1" [updateFailed]="1 0 0 1 1"
                        [badFile]="1 0 0 1 0")

# Photographs the client area as $E2E_OUT/$1.png; sets e2e_seen to what it shows, as in
# e2e_screens, and e2e_fill to the progress bar's fill in pixels (0 to 382).
e2e_look()
{
    e2e_shot="$E2E_OUT/$1.png"
    e2e_alive
    import -window "$E2E_WINDOW" "$e2e_shot" 2>/dev/null || return 1
    e2e_seen=$(convert "$e2e_shot" -format '%[fx:p{35,70}.r>0.7&&p{35,70}.b<0.4] %[fx:p{21,88}.r>0.97?1:(p{21,88}.r<0.15?2:0)]
                %[fx:p{246,155}.r<0.1] %[fx:p{356,155}.r<0.1]' info:)
    e2e_seen=$(echo $e2e_seen)
    [ "${e2e_seen:0:1}" = 1 ] && e2e_seen+=" $(convert "$e2e_shot" \( -clone 0 -crop 305x50+105+40 \) \
        \( -clone 0 -crop 160x14+250+20 \) -delete 0 -colorspace gray -format '%[fx:minima<0.3] ' info: |
        awk '{ print $1 ? 1 + $2 : 0 }')"
    e2e_fill=$(convert "$e2e_shot" -crop 382x1+22+80 +repage -colorspace gray -fx 'u>0.15&&u<0.85' \
        -format '%[fx:round(mean*w)]' info:)
}

e2e_shows() { e2e_look "$2" && [ "$e2e_seen" = "${e2e_screens[$1]}" ]; }

# Waits up to $1 seconds for the screen $2; its screenshot is $E2E_OUT/$3.png.
e2e_wait_screen()
{
    e2e_wait_for "$1" e2e_shows "$2" "$3" || e2e_fail "no $2 screen within $1 s (seen: $e2e_seen)"
}

#===============================================================================
# The window manager's view

e2e_size() { xwininfo -id "$E2E_WINDOW" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
e2e_state() { xprop -id "$E2E_WINDOW" _NET_WM_STATE; }

# Returns once the window manager has handled every request sent before: it handles them in
# order, and this one (sticky on or off) shows in the window's state.
e2e_wm_handled()
{
    local sticky
    sticky=$(e2e_state | grep -c STICKY)
    wmctrl -i -r "$E2E_WINDOW" -b toggle,sticky
    e2e_wait_for 60 eval 'e2e_alive && [ "$(e2e_state | grep -c STICKY)" != "$sticky" ]' || e2e_fail "xfwm4 does not answer"
}

# Whether the window $1 is the active one, and with "top" also on top of every other one.
e2e_in_front()
{
    local id
    id=$(printf '0x%x' "$1")
    xprop -root _NET_ACTIVE_WINDOW | grep -q "# $id," || return 1
    [ -z "${2:-}" ] || [ "$(xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | tail -n 1)" = "$id" ]
}

# The client area's place on the screen, "x y".
e2e_at() { xwininfo -id "$E2E_WINDOW" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }'; }
# Where the client area stands centred in the work area, "x y".
e2e_centred() { xprop -root _NET_WORKAREA | grep -o '[0-9]\+' | head -n 4 | tr '\n' ' ' | awk '{ print $1 + int(($3 - 426) / 2), $2 + int(($4 - 176) / 2) }'; }

# Saves what the screen shows where the client area is, whatever window is in front there.
e2e_screen_at_client()
{
    local x y
    read -r x y < <(e2e_at)
    import -window root -crop "426x176+$x+$y" +repage "$1" 2>/dev/null
}

e2e_same_image() { compare -metric AE "$1" "$2" null: 2>/dev/null; }
