#!/usr/bin/env bash
# Takes the window's screenshots in docs/ under Xvfb and openbox, against the demo site:
# the grown window after a scan, the failure box with its reason, the missing-data.ini
# state and the window at 200 %. Not a test; run it after changing the window's look.
# usage: tests/window_x/screenshots.sh BUILD_DIR
set -euo pipefail
docs=$(cd "$(dirname "$0")/../../docs" && pwd)
build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/harness.sh" "$build/app/koravel" "$build/tools/koravel-demo-site"

# The window's frame (openbox: 1 px border, 20 px title bar) and MARGIN pixels around it.
shoot() {
    local g w h x y margin=${2:-0}
    g=$(wx_geometry)
    w=${g%%x*}
    h=$(sed 's/^[0-9]*x//; s/+.*//' <<<"$g")
    x=$(cut -d+ -f2 <<<"$g")
    y=$(cut -d+ -f3 <<<"$g")
    sleep 0.5
    import -window root -crop "$((w + 2 + 2 * margin))x$((h + 22 + 2 * margin))+$((x - 1 - margin))+$((y - 21 - margin))" \
        +repage "$docs/$1"
    echo "screenshots: $docs/$1"
}

wx_start_display
wx_start_site

wx_new_profile
wx_start
xdotool windowsize "$wx_win" 560 400
sleep 0.3
wx_division 0
wx_key F5
wx_wait 30 wx_idle
wx_click 385 34 # "И": players, descending after the second click
wx_click 385 34
shoot window-grown.png
wx_close
wx_kill

wx_new_profile
wx_start
wx_division 1
wx_key F5
wx_wait 10 wx_has_window '^:/$'
shoot failure-box.png
wx_kill

wx_new_profile
rm "$wx_dir/run/data.ini"
wx_start
xdotool windowsize "$wx_win" 420 321
shoot missing-data.png
wx_kill

wx_new_profile
QT_SCALE_FACTOR=2 wx_start
# The division box, in pixels of twice the size.
wx_click $(($(wx_width) - 192)) $(($(wx_height) - 40))
wx_key Down
wx_key F5
wx_wait 30 wx_idle
shoot window-200.png
wx_kill
