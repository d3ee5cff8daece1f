# shellcheck shell=bash
# Shared by the real-X window tests; sourced, not run. Starts Xvfb on a free display,
# openbox as the window manager and the demo site with its bad teams (7001 answers 503,
# 7002 stays silent, 7003 has a 20 MB name), and gives each test a throwaway profile:
# HOME, XDG_CONFIG_HOME with a kelvo.conf that reaches the site through the proxy path,
# a working folder with data.ini, and a stand-in xdg-open that writes down what it opens.
# The program runs under ru_RU.UTF-8, as players run it. Every input is real X input
# (XTEST keys and clicks, the window manager's own close), every result is read back
# from X (title, geometry, clipboard) or from the files.
#
# usage: source harness.sh KORAVEL DEMO_SITE
# Exit status of a test: 0 passed, 1 a check failed, 77 skipped (Xvfb cannot start).

set -euo pipefail

wx_koravel=$1
wx_site=$2
wx_dir=$(mktemp -d "${TMPDIR:-/tmp}/koravel-window-x.XXXXXX")
wx_failures=0
wx_pids=()
wx_app=""
wx_win=""
wx_display_pid=""

wx_cleanup() {
    local pid
    [ -n "$wx_app" ] && kill -9 "$wx_app" 2>/dev/null
    for pid in "${wx_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${wx_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ -n "$wx_display_pid" ]; then
        kill "$wx_display_pid" 2>/dev/null || true
        wait "$wx_display_pid" 2>/dev/null || true
    fi
    rm -rf "$wx_dir"
}
trap wx_cleanup EXIT

wx_skip() {
    echo "SKIP: $*"
    exit 77
}

# Records a failed check and goes on, so one run names every misbehaviour.
wx_fail() {
    echo "FAIL: $*" >&2
    wx_failures=$((wx_failures + 1))
}

# wx_expect WHAT ACTUAL EXPECTED
wx_expect() {
    if [ "$2" != "$3" ]; then
        wx_fail "$1"
        diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | sed 's/^/    /' >&2 || true
    else
        echo "ok: $1"
    fi
}

wx_finish() {
    if [ "$wx_failures" -gt 0 ]; then
        echo "$wx_failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# wx_wait SECONDS COMMAND...: polls every 0.1 s; false when the time ran out.
wx_wait() {
    local tries=$(($1 * 10))
    shift
    while ! "$@" 2>/dev/null; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

wx_start_display() {
    command -v Xvfb >/dev/null || wx_skip "Xvfb cannot start: it is not installed"
    local tool
    for tool in openbox xdotool xclip xprop; do
        command -v "$tool" >/dev/null || {
            echo "window-x: $tool is missing; run scripts/install-deps" >&2
            exit 1
        }
    done
    # -displayfd: Xvfb picks a free display itself and writes its number.
    Xvfb -displayfd 3 -screen 0 "${WX_SCREEN:-1280x800}x24" -nolisten tcp -noreset \
        3>"$wx_dir/display" >"$wx_dir/xvfb.log" 2>&1 &
    wx_display_pid=$!
    if ! wx_wait 10 test -s "$wx_dir/display"; then
        wx_skip "Xvfb cannot start: $(tail -n 3 "$wx_dir/xvfb.log" | tr '\n' ' ')"
    fi
    export DISPLAY=":$(cat "$wx_dir/display")"
    openbox --sm-disable >"$wx_dir/openbox.log" 2>&1 &
    wx_pids+=($!)
    wx_wait 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || {
        echo "window-x: openbox did not start: $(cat "$wx_dir/openbox.log")" >&2
        exit 1
    }
}

wx_start_site() {
    "$wx_site" --port 0 --port-file "$wx_dir/port" --fail 7001 --slow 7002 --huge 7003 \
        >"$wx_dir/site.log" 2>&1 &
    wx_pids+=($!)
    wx_wait 10 test -s "$wx_dir/port" || {
        echo "window-x: the demo site did not start: $(cat "$wx_dir/site.log")" >&2
        exit 1
    }
    wx_port=$(cat "$wx_dir/port")
}

# A fresh profile: no remembered state, the proxy pointed at the demo site.
wx_new_profile() {
    rm -rf "$wx_dir/home" "$wx_dir/config" "$wx_dir/run" "$wx_dir/bin" "$wx_dir/opened"
    mkdir -p "$wx_dir/home" "$wx_dir/config" "$wx_dir/run" "$wx_dir/bin"
    mkdir -p -m 700 "$wx_dir/runtime"
    printf '[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=%s\n' "$wx_port" \
        >"$wx_dir/config/kelvo.conf"
    chmod 600 "$wx_dir/config/kelvo.conf"
    cat >"$wx_dir/run/data.ini" <<'INI'
[Демо-1]
team1=1101
team2=1102
team3=1103
team4=1104
team5=1105

[Сбой]
team1=1101
team2=7001
team3=1103

[Тишина]
team1=1101
team2=7002
team3=1103

[Гигант]
team1=7003
INI
    printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/opened"\n' "$wx_dir" >"$wx_dir/bin/xdg-open"
    chmod +x "$wx_dir/bin/xdg-open"
}

# wx_start [ARGUMENTS...]: starts the program in the working folder (or, with --menu, in
# wherever it goes) and waits for its window; sets wx_app and wx_win.
wx_start() {
    (cd "$wx_dir/run" && exec env LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 QT_QPA_PLATFORM=xcb \
        HOME="$wx_dir/home" XDG_CONFIG_HOME="$wx_dir/config" \
        XDG_RUNTIME_DIR="$wx_dir/runtime" XDG_DATA_DIRS="${WX_DATA_DIRS:-/usr/share}" \
        PATH="$wx_dir/bin:$PATH" "$wx_koravel" "$@") >>"$wx_dir/app.log" 2>&1 &
    wx_app=$!
    wx_win=""
    local tries=100
    while [ -z "$wx_win" ]; do
        wx_win=$(xdotool search --onlyvisible --pid "$wx_app" --name '^Koravel' 2>/dev/null |
            head -n 1 || true)
        tries=$((tries - 1))
        if [ "$tries" -le 0 ] || ! kill -0 "$wx_app" 2>/dev/null; then
            echo "window-x: no window appeared: $(tail -n 5 "$wx_dir/app.log")" >&2
            exit 1
        fi
        sleep 0.1
    done
    xdotool windowactivate --sync "$wx_win" >/dev/null 2>&1 || true
    sleep 0.3
}

# Closes the way a player does: a click on the close button of the window manager's title
# bar (openbox's, 10 px left of the frame's right edge and 10 px above the client area),
# which sends WM_DELETE_WINDOW. True when the program ended within SECONDS (default 5).
wx_close() {
    local g x y w
    g=$(wx_geometry)
    w=${g%%x*}
    x=$(cut -d+ -f2 <<<"$g")
    y=$(cut -d+ -f3 <<<"$g")
    xdotool mousemove $((x + w - 10)) $((y - 10)) click 1
    wx_wait_exit "${1:-5}"
}

# Alt+F4, which openbox binds to closing the focused window.
wx_close_by_key() {
    xdotool windowactivate --sync "$wx_win" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+F4
    wx_wait_exit "${1:-5}"
}

wx_wait_exit() {
    local tries=$(($1 * 10))
    while kill -0 "$wx_app" 2>/dev/null; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
    wx_status=0
    wait "$wx_app" 2>/dev/null || wx_status=$?
    wx_app=""
}

# Ends a program that would not close, so the next test starts clean.
wx_kill() {
    if [ -n "$wx_app" ]; then
        kill -9 "$wx_app" 2>/dev/null || true
        wait "$wx_app" 2>/dev/null || true
        wx_app=""
    fi
}

wx_key() {
    xdotool windowactivate --sync "$wx_win" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers --delay 60 "$@"
    sleep 0.2
}

wx_type() {
    xdotool type --delay 40 "$1"
    sleep 0.2
}

# wx_click X Y [BUTTON [REPEAT]]: in window coordinates.
wx_click() {
    xdotool mousemove --window "$wx_win" "$1" "$2" sleep 0.1 \
        click --repeat "${4:-1}" --delay 80 "${3:-1}"
    sleep 0.3
}

wx_title() { xdotool getwindowname "$wx_win"; }
wx_title_matches() { wx_title | grep -Eq "$1"; }

# "WIDTHxHEIGHT+X+Y" of the window's client area on the screen. (xdotool's
# getwindowgeometry counts the frame's offset twice under a reparenting manager.)
wx_geometry() {
    xwininfo -id "$wx_win" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
        END { printf "%sx%s+%s+%s\n", w, h, x, y }'
}
wx_width() { wx_geometry | sed 's/x.*//'; }
wx_height() { wx_geometry | sed 's/^[0-9]*x//; s/+.*//'; }

wx_clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null || true; }

# xclip stays to serve the selection: never on the caller's output.
wx_clear_clipboard() { printf '' | timeout 5 xclip -i -selection clipboard >/dev/null 2>&1; }

# The title while a scan runs ends in "N/M".
wx_scanning() { wx_title | grep -Eq '[0-9]+/[0-9]+$'; }
wx_idle() { ! wx_scanning; }

# Another top-level window of the program whose title matches RE (the failure box: ":/").
wx_window_named() {
    xdotool search --onlyvisible --pid "$wx_app" --name "$1" 2>/dev/null | grep -vx "$wx_win" |
        head -n 1
}
wx_has_window() { [ -n "$(wx_window_named "$1")" ]; }

# wx_conf NAME: the value of NAME in [Koravel] of kelvo.conf, or nothing.
wx_conf() {
    sed -n '/^\[Koravel\]/,/^\[/p' "$wx_dir/config/kelvo.conf" | sed -n "s/^$1=//p"
}

# The layout is the designed one grown: the buttons keep their place from the bottom-left
# corner, the division box from the bottom-right, the header from the top-left.
wx_click_scan() { wx_click 32 $(($(wx_height) - 20)); }
wx_click_save() { wx_click 86 $(($(wx_height) - 20)); }
wx_click_division() { wx_click $(($(wx_width) - 96)) $(($(wx_height) - 20)); }
# wx_click_header X: the header at X.
wx_click_header() { wx_click "$1" 34; }
# wx_row N: the y of the middle of the Nth row (1-based; rows are 13 px high at 100 %).
wx_row() { echo $((50 + 13 * ($1 - 1))); }

# Picks a division by its place in data.ini (0 first) with the arrow keys in the division
# box: typing Cyrillic through xdotool's remapped keys is not reliable under load.
wx_division() {
    wx_click_division
    wx_key Down Up Up Up Up Up Up
    local i
    for ((i = 0; i < $1; i++)); do wx_key Down; done
}

# Two busy loops beside the program, as a loaded machine has.
wx_start_load() {
    sh -c 'while :; do :; done' &
    wx_load1=$!
    sh -c 'while :; do :; done' &
    wx_load2=$!
}
wx_stop_load() {
    kill "$wx_load1" "$wx_load2" 2>/dev/null || true
    wait "$wx_load1" "$wx_load2" 2>/dev/null || true
}

# CP1251 text for the expected bytes of save.txt, written out in UTF-8 here.
wx_cp1251() { iconv -f UTF-8 -t CP1251; }
