#!/usr/bin/env bash
# File types on a private desktop, as a file manager sees them: checking OGG in
# the file-type dialog makes the player the default of the Ogg types for
# xdg-mime and GIO (what Thunar and Nautilus use), and opening an .ogg file
# then starts the player on it; unchecking gives the types back to the program
# that had them. The installed qorve.desktop stays the one the desktop shows:
# the hidden copy an earlier version left in the user's folder is moved to the
# associations' own entry, and a type the installed entry opens through the
# bin link counts as the player's. The Send To entry starts the player on the
# file sent.
# Usage: file_type_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

for tool in xdg-mime xdg-open gio; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$bin/file_type_probe" ] || { echo "SKIP: file_type_probe is not built"; exit 77; }
begin_e2e
# xdg-open opens files by type only where a display exists.
start_x_session
export HOME="$work/home" QORVE_HOME="$work/settings" LANG=ja_JP.UTF-8
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
# The system's MIME database without the system's applications.
mkdir -p "$work/share" "$work/etc-xdg" "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
ln -s /usr/share/mime "$work/share/mime"
export XDG_DATA_DIRS="$work/share" XDG_CONFIG_DIRS="$work/etc-xdg"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID

# Another player owns the Vorbis type.
cat > "$XDG_DATA_HOME/applications/other.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Other
Exec=/bin/true %f
MimeType=audio/x-vorbis+ogg;audio/ogg;
ENTRY
# The installed entry starts the player through a link, as /usr/bin/qorve does;
# the user gave it MP3 files. An earlier version registered WAV under the
# installed entry's id, hidden, in the user's folder.
mkdir -p "$work/share/applications" "$work/usr-bin"
ln -s "$bin/qorve" "$work/usr-bin/qorve"
cat > "$work/share/applications/qorve.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=QORVE
Exec=$work/usr-bin/qorve %f
MimeType=audio/mpeg;audio/ogg;
Categories=AudioVideo;Player;
ENTRY
cat > "$XDG_DATA_HOME/applications/qorve.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=QORVE
Exec=$bin/qorve %f
NoDisplay=true
MimeType=audio/x-wav;
ENTRY
printf '[Default Applications]\naudio/x-vorbis+ogg=other.desktop;\naudio/x-wav=qorve.desktop;\naudio/mpeg=qorve.desktop;\n' \
  > "$XDG_CONFIG_HOME/mimeapps.list"

default_of() { xdg-mime query default "$1"; }
gio_default_of() { gio mime "$1" | sed -n 's/^Default application for .*: //p'; }

"$bin/file_type_probe" OGG =WAV =MP3 | tee "$work/probe.out"
grep -qx "OGG 1" "$work/probe.out" || { echo "FAIL: the OGG box is not checked"; exit 1; }
grep -qx "MP3 1" "$work/probe.out" || { echo "FAIL: the MP3 box (installed entry, through the link) is not checked"; exit 1; }
grep -qx "WAV 1" "$work/probe.out" || { echo "FAIL: the WAV box (moved association) is not checked"; exit 1; }
[ ! -e "$XDG_DATA_HOME/applications/qorve.desktop" ] || { echo "FAIL: the hidden qorve.desktop still hides the installed one"; exit 1; }
for type in audio/x-vorbis+ogg audio/x-wav; do
  [ "$(default_of $type)" = qorve-open.desktop ] || { echo "FAIL: xdg-mime $type: $(default_of $type)"; exit 1; }
  [ "$(gio_default_of $type)" = qorve-open.desktop ] || { echo "FAIL: gio $type: $(gio_default_of $type)"; exit 1; }
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$XDG_DATA_HOME/applications/qorve-open.desktop" || { echo "FAIL: qorve-open.desktop does not validate"; exit 1; }
fi
[ "$(default_of audio/mpeg)" = qorve.desktop ] || { echo "FAIL: xdg-mime audio/mpeg: $(default_of audio/mpeg)"; exit 1; }
echo "xdg-mime and gio: qorve-open.desktop opens audio/x-vorbis+ogg and audio/x-wav; the installed entry keeps audio/mpeg"

# Opening the file as a file manager does starts the player on it.
mkdir -p "$work/music"
sox -n -r 44100 -c 2 "$work/music/song.ogg" synth 30 sine 440 2>/dev/null || printf 'OggS' > "$work/music/song.ogg"
export QORVE_AUDIO="wav:$work/out.wav"
opened() {
  local how=$1
  rm -f "$QORVE_HOME/LOG.TXT"
  $how "$work/music/song.ogg" >/dev/null 2>&1 &
  wait_for "grep -qF '$work/music/song.ogg' '$QORVE_HOME/LOG.TXT'" 15 || { echo "FAIL: $how did not start the player"; exit 1; }
  # The player this test started, found by the file it plays.
  player=$(pgrep -f "^$bin/qorve $work/music/song.ogg" | head -n 1)
  [ -n "$player" ] || { echo "FAIL: no player process for the file"; exit 1; }
  kill -TERM "$player"
  wait_for "! kill -0 $player"
  player=0
  echo "$how started the player on the file"
}
opened "gio open"
opened xdg-open

"$bin/file_type_probe" OGG | tee "$work/probe.out"
grep -qx "OGG 0" "$work/probe.out" || { echo "FAIL: the OGG box is still checked"; exit 1; }
[ "$(default_of audio/x-vorbis+ogg)" = other.desktop ] || { echo "FAIL: xdg-mime after unchecking: $(default_of audio/x-vorbis+ogg)"; exit 1; }
[ "$(gio_default_of audio/x-vorbis+ogg)" = other.desktop ] || { echo "FAIL: gio after unchecking: $(gio_default_of audio/x-vorbis+ogg)"; exit 1; }
echo "unchecked: other.desktop has audio/x-vorbis+ogg again"

# Send To: the entry in Thunar's folder starts the player on the file.
"$bin/file_type_probe" SENDTO | tee "$work/probe.out"
entry="$XDG_DATA_HOME/Thunar/sendto/QORVE2.desktop"
[ -f "$entry" ] || { echo "FAIL: no Send To entry"; exit 1; }
if gio help launch >/dev/null 2>&1; then
  opened "gio launch $entry"
fi
"$bin/file_type_probe" SENDTO | tee "$work/probe.out"
[ ! -e "$entry" ] || { echo "FAIL: the Send To entry stayed"; exit 1; }
echo "Send To entry made and removed"
