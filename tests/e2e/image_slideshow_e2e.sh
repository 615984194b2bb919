#!/usr/bin/env bash
# Pictures as a user meets them: the player started on a folder of pictures
# (PNG, BMP, GIF, JPEG, ICO, and TGA through our image plug-in) shows the
# first one fitted to the screen; Right and Left step through the folder; Z
# toggles the fit; S starts the full-screen slideshow, which moves on every
# SHOWSEC seconds (2 here); P pauses and resumes it; Esc quits. Screenshots are checked
# for the pictures' colours and, when QORVE_E2E_SCREENSHOTS names a folder,
# kept there.
# Usage: image_slideshow_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
for tool in convert import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

begin_e2e
export QORVE_HOME="$work/settings" LANG=ja_JP.UTF-8
mkdir -p "$QORVE_HOME" "$work/pictures"
printf '[KESTRAVOX]\r\nLOG=1\r\n[IMAGESET]\r\nSHOWSEC=2\r\n' > "$QORVE_HOME/$(id -un).INI"
printf '[Software\\Morivane\\Susie\\Plug-in]\r\nPath=%s\r\n' "$bin/spi" > "$QORVE_HOME/registry.ini"
pics="$work/pictures"
convert -size 1600x1800 xc:'#c02020' "$pics/a.png"     # red, taller than the screen
convert -size 400x300 xc:'#2040c0' "$pics/b.bmp"       # blue
convert -size 320x200 xc:'#20a040' "$pics/c.gif"       # green
convert -size 640x480 xc:'#e0c020' -quality 95 "$pics/d.jpg"  # yellow
convert -size 48x48 xc:'#a020c0' "$pics/e.ico"         # purple
convert -size 300x200 xc:'#20c0c0' -compress RLE "$pics/f.tga"  # cyan, through iftga.spi

start_x_session
read -r screen_width screen_height <<<"$(xdotool getdisplaygeometry)"
log="$QORVE_HOME/LOG.TXT"
"$bin/qorve" "$pics" &
player=$!

visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1; }
geometry() { eval "$(xdotool getwindowgeometry --shell "$(visible_window)")"; }
loads() { grep -c '"LoadMedia"' "$log" 2>/dev/null || echo 0; }
shot() {  # NAME: a screenshot of the whole screen
  sleep 0.4
  import -window root "$work/$1.png"
  if [ -n "${QORVE_E2E_SCREENSHOTS:-}" ]; then mkdir -p "$QORVE_E2E_SCREENSHOTS"; cp "$work/$1.png" "$QORVE_E2E_SCREENSHOTS/"; fi
}
colour_at() {  # NAME X Y: the pixel's colour as RRGGBB
  convert "$work/$1.png" -format "%[hex:p{$2,$3}]" info: | cut -c1-6
}
# Shoots NAME again until the pixel has the colour (a loaded machine paints
# late), for at most 30 s.
expect_colour() {  # NAME X Y RRGGBB WHAT
  local got until_=$((SECONDS + 30))
  got=$(colour_at "$1" "$2" "$3")
  while [ "$got" != "$4" ] && [ "$SECONDS" -lt "$until_" ]; do
    shot "$1"
    got=$(colour_at "$1" "$2" "$3")
  done
  [ "$got" = "$4" ] || { echo "FAIL: $5: colour $got at $2,$3, expected $4"; exit 1; }
  echo "ok: $5"
}
near() { [ "$1" -ge $(($2 - 1)) ] && [ "$1" -le $(($2 + 1)) ]; }
wait_for_size() {  # WIDTH HEIGHT, each within a pixel (zoomed sizes are truncated)
  wait_for "geometry; near \$WIDTH $1 && near \$HEIGHT $2" || {
    geometry; echo "FAIL: window ${WIDTH}x$HEIGHT, expected $1x$2"; exit 1; }
}

wait_for '[ -n "$(visible_window)" ]'
# The first picture, 1600 x 1800, is fitted to the work area's height less 40:
# zoom (1024 - 40) / 1800, a 874 x 984 picture above the 32-pixel button strip.
zoom_width=$(( 1600 * (screen_height - 40) / 1800 ))
wait_for_size "$zoom_width" $((screen_height - 40 + 32))
shot first
expect_colour first $((X + zoom_width / 2)) $((Y + 400)) C02020 "the first picture fills its window"

for step in "b.bmp 400 332 2040C0" "c.gif 320 232 20A040" "d.jpg 640 512 E0C020" "e.ico 170 80 A020C0" \
            "f.tga 300 232 20C0C0"; do
  read -r name width height colour <<<"$step"
  hold_key Right
  wait_for_size "$width" "$height"
  shot "next_$name"
  expect_colour "next_$name" $((X + 24)) $((Y + 20)) "$colour" "Right shows $name"
done
for size in "170 80" "640 512" "320 232" "400 332"; do
  hold_key Left
  wait_for_size $size
done
# After another picture, a window that would reach within 32 pixels of the
# screen's height is cut to it and gets a scroll bar beside the picture.
fitted_again="geometry; near \$HEIGHT $((screen_height - 32)) && [ \$WIDTH -gt $zoom_width ] && [ \$WIDTH -lt 1000 ]"
hold_key Left
wait_for "$fitted_again"
echo "ok: Left goes back through the folder to a.png"

# Z: no fit any more; the picture at its natural size (a scroll bar once the
# screen is too low for it), then fitted again.
hold_key z
wait_for 'geometry; [ $WIDTH -gt 1600 ]'
echo "ok: Z shows the first picture at its natural size (${WIDTH}x$HEIGHT)"
hold_key z
wait_for "$fitted_again"
echo "ok: Z fits it again"

# S: the slideshow covers the screen and moves on every two seconds.
before=$(loads)
hold_key s
wait_for_size "$screen_width" "$screen_height"
wait_for "[ \$(loads) -ge $((before + 2)) ]" 30
echo "ok: the slideshow moves on ($(( $(loads) - before )) pictures)"
# While b.bmp shows (400 x 300, enlarged three times), black bands surround it.
showing() { grep -oE "\"$pics/[a-f]\.[a-z]+\" , \"3\"" "$log" | tail -n 1 | grep -q "/$1\""; }
wait_for "showing b.bmp" 60
shot slideshow_b
expect_colour slideshow_b $((screen_width / 2)) $((screen_height / 2)) 2040C0 "the slideshow shows b.bmp in the middle"
expect_colour slideshow_b 5 5 000000 "black bands around a picture smaller than the screen"

# Paused, the slideshow loads nothing for twice its SHOWSEC; running, it
# loads a picture every SHOWSEC. A load just after the key (the pause taking
# effect late) starts the quiet time again.
milliseconds() { echo $(($(date +%s%N) / 1000000)); }
hold_key p
paused=$(loads)
quiet_since=$(milliseconds)
until_=$((SECONDS + 30))
while [ $(($(milliseconds) - quiet_since)) -lt 4000 ]; do
  [ "$SECONDS" -lt "$until_" ] || { echo "FAIL: the paused slideshow went on (still loading after 30 s)"; exit 1; }
  sleep 0.2
  [ "$(loads)" -eq "$paused" ] || { paused=$(loads); quiet_since=$(milliseconds); }
done
echo "ok: P pauses the slideshow"
hold_key p
wait_for "[ \$(loads) -gt $paused ]" 30
echo "ok: P resumes it"

hold_key Escape
wait_for_player
grep -q '"IMAGE コンストラクタ"' "$log" && grep -q '"画像処理時間"' "$log" || { echo "FAIL: log lines missing"; exit 1; }
echo "ok: formats shown: PNG BMP GIF JPEG ICO TGA"
