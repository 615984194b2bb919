#!/usr/bin/env bash
# Archives and documents end to end. Offscreen: `qorve` on a ZIP, an LZH, a
# tar.gz (and the shared RAR and CAB samples when present) leaves a folder
# named after the archive on the desktop and exits with 0; a folder played in
# series passes an archive by without unpacking it. Under Xvfb: an HTML page and a PDF show in the
# document window (the screenshot holds their colour); a page that tries to
# read a file beside it and to reach a local web server gets neither, and a
# link clicked in it goes to the desktop's browser.
# Usage: archives_documents_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in zip jlha sox oggenc python3 import convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/shared_media.sh"
source "$here/x_session.sh"
begin_offscreen_e2e
fail() { echo "FAIL: $*"; exit 1; }
ini_name="$(id -un).INI"

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QORVE_HOME="$work/settings"
desktop="$work/Schreibtisch"
mkdir -p "$XDG_CONFIG_HOME" "$QORVE_HOME"
echo "XDG_DESKTOP_DIR=\"$desktop\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$ini_name"

mkdir -p "$work/src/docs" "$work/in"
echo "read me" >"$work/src/readme.txt"
seq 1 500 >"$work/src/docs/numbers.txt"
(cd "$work/src" && zip -qr "$work/in/pack.zip" readme.txt docs \
  && jlha co7q "$work/in/pack2.lzh" readme.txt docs/numbers.txt >/dev/null && tar czf "$work/in/pack3.tar.gz" readme.txt docs)

unpack() {  # archive folder-name file-inside
  timeout 60 "$bin/qorve" "$1" || fail "qorve $1 did not end with 0 within 60 s"
  [ -f "$desktop/$2/$3" ] || fail "$desktop/$2/$3 missing after qorve $1"
  echo "  $(basename "$1") -> $2/$3"
}
echo "- archives unpack onto the desktop and the player exits"
unpack "$work/in/pack.zip" pack docs/numbers.txt
cmp "$work/src/docs/numbers.txt" "$desktop/pack/docs/numbers.txt" || fail "ZIP content differs"
unpack "$work/in/pack2.lzh" pack2 docs/numbers.txt
unpack "$work/in/pack3.tar.gz" pack3.tar docs/numbers.txt
! have_shared_media rar/la_rar5_multiple_files.rar || unpack "$shared/rar/la_rar5_multiple_files.rar" la_rar5_multiple_files test1.bin
! have_shared_media cab/la_cab_filename_cp932.cab || unpack "$shared/cab/la_cab_filename_cp932.cab" la_cab_filename_cp932 "表だよ/漢字.txt"

echo "- a folder in series passes the archive by"
mkdir -p "$work/music"
sox -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 0.6 sine 440 vol 0.5
oggenc -Q "$work/a.wav" -o "$work/music/a.ogg"
cp "$work/in/pack.zip" "$work/music/b.zip"
cp "$work/music/a.ogg" "$work/music/c.ogg"
rm -rf "$desktop/b"
export QORVE_AUDIO="wav:$work/series.wav"
printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=2\r\nEND=0\r\n' >"$QORVE_HOME/$ini_name"
: >"$QORVE_HOME/LOG.TXT"
play_series_round "$work/music" "$work/music/a.ogg" 60
loads=$(loaded_files "$work/music")
echo "  loaded: $loads"
[ "$loads" = "a.ogg,0 b.zip,1 c.ogg,1 a.ogg,1" ] || fail "wrong order: $loads"
# The move keeps to the kind played before it, so a sound series leaves the
# archive packed and goes on.
[ ! -e "$desktop/b" ] || fail "a sound series unpacked the archive it passed"
unset QORVE_AUDIO

echo "- documents in the document window (Xvfb)"
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$ini_name"
cat >"$work/in/page one.html" <<'HTML'
<html><body style="margin:0;background:rgb(0,160,80)"><h1>QORVE</h1></body></html>
HTML
python3 - "$work/in/doc.pdf" <<'PY'
import sys
content = b"0.86 0.16 0.16 rg 0 0 612 792 re f"
objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
           b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
           b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
           b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"]
out = bytearray(b"%PDF-1.4\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(out))
    out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
for offset in offsets:
    out += b"%010d 00000 n \n" % offset
out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[1], "wb").write(out)
PY
export QT_LOGGING_RULES="qt.webenginecontext.info=false"
start_x_session
share() {  # screenshot colour: fraction of the window's pixels near the colour
  convert "$1" -crop 640x480+320+272 +repage -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:mean]' info:
}
show() {  # file colour minimum-share seconds
  "$bin/qorve" "$1" &
  player=$!
  local found=0 until_=$((SECONDS + $4))
  while [ "$SECONDS" -lt "$until_" ]; do
    sleep 0.5
    kill -0 "$player" 2>/dev/null || fail "the player ended while showing $1"
    import -window root "$work/shot.png" 2>/dev/null || continue
    found=$(share "$work/shot.png" "$2")
    awk -v s="$found" -v m="$3" 'BEGIN { exit !(s >= m) }' && break
  done
  kill -TERM "$player"; wait "$player" || true; player=0
  [ -n "${QORVE_E2E_SHOTS:-}" ] && cp "$work/shot.png" "$QORVE_E2E_SHOTS/$(basename "$1").png"
  echo "  $(basename "$1"): $found of the window in $2"
  awk -v s="$found" -v m="$3" 'BEGIN { exit !(s >= m) }' || fail "$1 does not show (share $found)"
}
show "$work/in/page one.html" "rgb(0,160,80)" 0.5 60
# The PDF viewer needs many more rounds of the browser's events than a page
# (the player passes over events at every step while a document shows).
show "$work/in/doc.pdf" "rgb(219,41,41)" 0.1 60

echo "- a document reads no other file and reaches no server; a clicked link opens in the browser"
python3 -u -c '
import http.server, sys
class Seen(http.server.SimpleHTTPRequestHandler):
    def log_message(self, form, *args):
        sys.stderr.write("REQUEST %s\n" % self.path)
        sys.stderr.flush()
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Seen)
print(server.server_address[1])
server.serve_forever()' >"$work/port" 2>"$work/requests" &
server=$!
wait_for '[ -s "$work/port" ]' 10
port=$(cat "$work/port")
echo "the contents of a private file" >"$work/in/secret.txt"
mkdir -p "$work/browser"
printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$work" >"$work/browser/xdg-open"
chmod +x "$work/browser/xdg-open"
# Blue while the page waits, then green when every attempt failed, red when
# one got through.
cat >"$work/in/reach.html" <<HTML
<html><head><style>body{margin:0} a{display:block;float:left;width:50%;height:100vh;background:rgb(40,40,200)}</style></head>
<body><a href="http://127.0.0.1:$port/clicked">&nbsp;</a><a href="http://127.0.0.1:$port/clicked-window" target="_blank">&nbsp;</a>
<img src="http://127.0.0.1:$port/picture.png">
<script>
var links = document.getElementsByTagName("a"), left = 3, leaked = false;
function settle() {
  if (--left > 0) return;
  for (var i = 0; i < links.length; ++i) links[i].style.background = leaked ? "rgb(220,40,40)" : "rgb(0,160,80)";
}
var request = new XMLHttpRequest();
try {
  request.open("GET", "file://$work/in/secret.txt");
  request.onload = function () { if (request.responseText.length > 0) leaked = true; settle(); };
  request.onerror = settle;
  request.send();
} catch (e) { settle(); }
fetch("http://127.0.0.1:$port/fetch").then(function () { leaked = true; settle(); }, settle);
try {
  var socket = new WebSocket("ws://127.0.0.1:$port/socket");
  socket.onopen = function () { leaked = true; settle(); };
  socket.onerror = settle;
} catch (e) { settle(); }
</script></body></html>
HTML
PATH="$work/browser:$PATH" "$bin/qorve" "$work/in/reach.html" &
player=$!
verdict=waiting
until_=$((SECONDS + 60))
while [ "$SECONDS" -lt "$until_" ]; do
  sleep 0.5
  kill -0 "$player" 2>/dev/null || fail "the player ended while showing reach.html"
  import -window root "$work/shot.png" 2>/dev/null || continue
  if awk -v s="$(share "$work/shot.png" "rgb(0,160,80)")" 'BEGIN { exit !(s >= 0.5) }'; then verdict=green; break; fi
  if awk -v s="$(share "$work/shot.png" "rgb(220,40,40)")" 'BEGIN { exit !(s >= 0.5) }'; then verdict=red; break; fi
done
[ "$verdict" = green ] || fail "the page's attempts did not all fail ($verdict)"
# A plain link (left half) and one that asks for a window of its own (right half).
xdotool mousemove 480 512 click 1
wait_for 'grep -q "/clicked$" "$work/opened"' 20 || fail "the clicked link did not reach the desktop's browser"
xdotool mousemove 800 512 click 1
wait_for 'grep -q "/clicked-window$" "$work/opened"' 20 || fail "the link to a new window did not reach the browser"
kill -TERM "$player"; wait "$player" || true; player=0
kill "$server"; wait "$server" 2>/dev/null || true
if grep -q REQUEST "$work/requests"; then fail "the server was reached: $(grep REQUEST "$work/requests" | tr '\n' ' ')"; fi
echo "  the page read nothing, the server saw no request, the links went to: $(tr '\n' ' ' <"$work/opened")"
echo "PASS"
