#!/usr/bin/env bash
# The close button always closes: at each stage of a scan, with two busy loops beside the
# program, a click on the window manager's close button ends the program, at the latest
# after a second click. KORAVEL_CLOSE_ROUNDS rounds a stage (3 by default; 50 for the
# full run). usage: close_test.sh KORAVEL DEMO_SITE
source "$(dirname "$0")/harness.sh" "$@"
rounds=${KORAVEL_CLOSE_ROUNDS:-3}

# Each stage brings a fresh window to its point; false when it never got there.
during_request() {
    wx_division 2  # Тишина
    wx_click_scan
    wx_wait 10 wx_title_matches ' 2/3$'
}
failure_box_open() {
    wx_division 1  # Сбой
    wx_click_scan
    wx_wait 10 wx_has_window '^:/$'
}
after_huge_row() {
    wx_division 3  # Гигант
    wx_click_scan
    wx_wait 60 wx_idle
}
save_waiting_for_lock() {
    wx_division 0  # Демо-1
    wx_click_scan
    wx_wait 20 wx_idle || return 1
    # flock(1) takes the same advisory lock as the save and holds it past the close.
    flock "$wx_dir/run/save.txt" sleep 60 &
    holder=$!
    wx_wait 5 sh -c "[ -e '$wx_dir/run/save.txt' ]"
    sleep 0.2
    wx_click_save
    sleep 0.5
}

wx_start_display
wx_start_site
wx_new_profile
wx_start_load
trap 'wx_stop_load; wx_cleanup' EXIT

for stage in during_request failure_box_open after_huge_row save_waiting_for_lock; do
    first=0 second=0 never=0 unreached=0 bad_status=0 holder=""
    started=$SECONDS
    for ((round = 1; round <= rounds; round++)); do
        rm -f "$wx_dir/run/save.txt"
        wx_start
        if ! "$stage"; then
            unreached=$((unreached + 1))
            wx_kill
        elif wx_close 3; then
            first=$((first + 1))
            [ "$wx_status" -eq 0 ] || bad_status=$((bad_status + 1))
        elif wx_close 3; then
            second=$((second + 1))
            [ "$wx_status" -eq 0 ] || bad_status=$((bad_status + 1))
        else
            never=$((never + 1))
            wx_kill
        fi
        if [ -n "$holder" ]; then
            kill "$holder" 2>/dev/null || true
            wait "$holder" 2>/dev/null || true
            holder=""
        fi
    done
    echo "$stage: $rounds rounds: $first closed at the first click, $second at the second," \
        "$never not at all; $unreached never reached the stage; $bad_status ended with a status other than 0 ($((SECONDS - started)) s)"
    [ "$never" -eq 0 ] || wx_fail "$stage: $never of $rounds windows did not close after two clicks"
    [ "$unreached" -eq 0 ] || wx_fail "$stage: $unreached of $rounds windows never reached the stage"
    [ "$bad_status" -eq 0 ] || wx_fail "$stage: $bad_status of $rounds closes ended with a status other than 0"
done
wx_finish
