# Shared by the tests of the player as an X client of a Wayland compositor's
# Xwayland (Weston, KWin, Mutter): a folder of three tones, the player's
# window found and its place checked, its "next" button clicked, Esc.
# Source after x_session.sh; the test defines fail REASON (which ends it).
#
# Input comes from XTEST through Xwayland. A headless compositor has no input
# devices, so the X server may have no Wayland pointer: the pointer is moved
# by relative XTEST motion (xdotool mousemove_relative); a core-protocol warp
# (xdotool mousemove, XWarpPointer) makes Xwayland 22 crash without one.

# Prints the end of the player's log and of its standard error, for a
# failing test.
show_player_output() {
  [ -f "${QORVE_HOME:-}/LOG.TXT" ] && { echo "--- player log:"; tail -n 12 "$QORVE_HOME/LOG.TXT"; }
  [ -s "${work:-}/player.err" ] && { echo "--- player stderr:"; tail -n 12 "$work/player.err"; }
  return 0
}

# Three tones long enough that no file ends during a test, a.wav, b.wav and
# c.wav in $work/music, and a player home (new_player_home home).
make_tone_folder() {
  local name
  mkdir -p "$work/music"
  for name in a:440 b:550 c:660; do
    sox -n -r 22050 -c 1 -b 16 "$work/music/${name%%:*}.wav" synth 30 sine "${name#*:}" vol 0.1
  done
  new_player_home home
}

# A fresh home $work/NAME with logging on: exports QORVE_HOME and QORVE_AUDIO
# (the capture $work/NAME.wav), sets `log` and `capture`.
new_player_home() {  # name
  mkdir -p "$work/$1"
  printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$work/$1/$(id -un).INI"
  capture="$work/$1.wav"
  export QORVE_HOME="$work/$1" QORVE_AUDIO="wav:$capture"
  log="$QORVE_HOME/LOG.TXT"
}

# Starts the player on the folder (pid in `player`, its standard error in
# $work/player.err) and waits for it to open a.wav.
start_player_on_tones() {
  "$bin/qorve" "$work/music/" 2>"$work/player.err" &
  player=$!
  wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the first file"
  grep -qF "\"$work/music/a.wav\" , \"0\"" "$log" || fail "the player did not start on a.wav"
}

# Sets `window` to the player's window on $DISPLAY, found by name: the player
# is an X client there.
find_player_window() {
  wait_for '[ -n "$(xdotool search --onlyvisible --name "^KESTRAVOX$" 2>/dev/null)" ]' 10 ||
    fail "no KESTRAVOX window on Xwayland ($DISPLAY)"
  window=$(xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1)
  echo "ok: the player runs as an X client on Xwayland (window $window)"
}

# The place the window asks for: 12 pixels from the left, its bottom 5 pixels
# above the bottom of the work area (the screen, where no panel claims a
# part). Sets work_right, work_bottom, asked_x, asked_y, asked_width and
# asked_height.
check_asked_place() {
  local screen_width screen_height work_area wx wy ww wh hints
  read -r screen_width screen_height <<<"$(xdotool getdisplaygeometry)"
  work_area=$(xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
  work_bottom=$screen_height
  work_right=$screen_width
  if [ -n "$work_area" ]; then
    IFS=, read -r wx wy ww wh _ <<<"$work_area"
    work_bottom=$((wy + wh))
    work_right=$((wx + ww))
  fi
  wait_for "xprop -id $window WM_NORMAL_HINTS | grep -q 'user specified location'" 10 ||
    fail "the window asks for no place"
  hints=$(xprop -id "$window" WM_NORMAL_HINTS)
  read -r asked_x asked_y <<<"$(sed -n 's/.*user specified location: *\(-\?[0-9]*\), *\(-\?[0-9]*\).*/\1 \2/p' <<<"$hints")"
  read -r asked_width asked_height <<<"$(sed -n 's/.*user specified size: *\([0-9]*\) by \([0-9]*\).*/\1 \2/p' <<<"$hints")"
  echo "asked for ${asked_width}x$asked_height at $asked_x,$asked_y on a ${screen_width}x$screen_height screen" \
    "(work area bottom $work_bottom)"
  [ "$asked_x" -eq 12 ] || fail "asked for left edge $asked_x, expected 12"
  [ "$asked_width" -eq $((work_right - 24)) ] || fail "asked for width $asked_width, expected $((work_right - 24))"
  [ $((asked_y + asked_height)) -eq $((work_bottom - 5)) ] ||
    fail "asked for bottom $((asked_y + asked_height)), expected $((work_bottom - 5))"
  echo "ok: the window asks for its place at the bottom of the screen"
}

# Where the compositor put the window, in X root coordinates: sets client_x,
# client_y, client_width and client_height. xwininfo, not `xdotool
# getwindowgeometry`: xdotool counts the offset inside a window manager's
# frame twice.
read_placement() {
  local info frame
  info=$(xwininfo -id "$window")
  client_x=$(sed -n 's/.*Absolute upper-left X: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  client_y=$(sed -n 's/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  client_width=$(sed -n 's/.*Width: *\([0-9]*\).*/\1/p' <<<"$info")
  client_height=$(sed -n 's/.*Height: *\([0-9]*\).*/\1/p' <<<"$info")
  frame=$(xwininfo -tree -id "$window" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  echo "placed by the compositor at $client_x,$client_y (${client_width}x$client_height), inside a frame window" \
    "$(xwininfo -id "$frame" | sed -n 's/.*-geometry *//p')"
}

# For a window manager that honours the place a client asks for (KWin,
# Mutter; check_asked_place first): the window itself, the frame's decoration
# round it aside, stands where it asked, and it is kept above other windows
# (_NET_WM_STATE_ABOVE). Sets what read_placement sets. WM names the window
# manager in the messages.
check_placed_as_asked() {  # wm
  wait_for "xwininfo -id $window | grep -q 'Absolute upper-left Y: *$asked_y\$'" 10 ||
    { read_placement; fail "$1 placed the window at $client_x,$client_y, not at $asked_x,$asked_y"; }
  read_placement
  [ "$client_x" -eq "$asked_x" ] || fail "$1 placed the window's left edge at $client_x, not $asked_x"
  [ $((client_y + client_height)) -eq $((work_bottom - 5)) ] ||
    fail "the window's bottom is at $((client_y + client_height)), not $((work_bottom - 5))"
  echo "ok: $1 put the window at the bottom of the screen, where it asked"
  wait_for "xprop -id $window _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE" 10 ||
    fail "the window is not kept above others: $(xprop -id "$window" _NET_WM_STATE)"
  echo "ok: $1 keeps the window above others (_NET_WM_STATE_ABOVE)"
}

# Moves the pointer to X,Y by relative XTEST motion and checks where it landed.
pointer_at() {  # x y
  local i X Y SCREEN WINDOW
  for i in 1 2 3 4 5; do
    eval "$(xdotool getmouselocation --shell)"
    [ "$X" -eq "$1" ] && [ "$Y" -eq "$2" ] && return 0
    xdotool mousemove_relative -- $(($1 - X)) $(($2 - Y))
  done
  return 1
}

# Clicks the player's "next" button (read_placement first) and waits for the
# move from a.wav to b.wav. The row of buttons fills from the right edge
# leftwards; for sound with every button on, "next" is the seventh (exit,
# pause, once, loop, list, random, next), 32 pixels each, 2 pixels in from the
# 1-pixel edge.
click_next_button() {
  local next_x=$((client_x + client_width - 32 * 7 - 1 - 2 + 16)) next_y=$((client_y + 1 + 16))
  pointer_at "$next_x" "$next_y" || fail "the pointer did not reach $next_x,$next_y"
  sleep 0.3  # the player reads the pointer's place on its next snapshot
  xdotool click 1
  wait_for_log "\"$work/music/b.wav\" , \"1\"" 10 || fail "a click on the next button at $next_x,$next_y did not move on"
  wait_for_log '"NEXT 終了"' 5 || fail "the move to the next file did not finish"
  echo "ok: a click on the next button at $next_x,$next_y loaded b.wav"
}

# The player has ended with status 0 (waited for up to 10 s) and its log
# shows the exit sequence in order after the move to the next file: the
# message loop ends, the sound is closed, the controller goes; the capture is
# closed. HOW says what ended it, for the messages.
check_orderly_end() {  # how
  local status=0 line=0 text found data header
  wait_for_end "$player" 10 || fail "$1 did not end the player"
  wait "$player" || status=$?
  player=0
  [ "$status" -eq 0 ] || { cat "$work/player.err"; fail "the player ended with status $status after $1"; }
  for text in "NEXT 終了" "メッセージループ終了" "MCISOUND デストラクタ" "MainLoop デストラクタ"; do
    found=$(grep -n -F "\"$text\"" "$log" | cut -d: -f1 | awk -v after="$line" '$1 > after { print; exit }')
    [ -n "$found" ] || fail "the log lacks \"$text\" after line $line"
    line=$found
  done
  data=$(($(stat -c %s "$capture") - 44))
  header=$(od -An -tu4 -j40 -N4 "$capture" | tr -d ' ')
  [ "$data" -gt 0 ] && [ "$header" = "$data" ] ||
    fail "capture not closed: its header says $header bytes of sound, the file holds $data"
  echo "ok: $1 ended the player orderly (status 0)"
}

# Esc held for 80 ms, with no window focused: the player reads the keys the
# X server holds, whichever window has the keyboard.
end_by_escape() {
  xdotool keydown Escape
  sleep 0.08
  xdotool keyup Escape
  check_orderly_end "Esc held for 80 ms"
}
