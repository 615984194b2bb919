#!/usr/bin/env bash
# Sets everything up and plays the demo folder demo/ in series: installs the
# Debian packages, builds the player into build/, and runs `qorve demo/ -C`
# with private settings (the user's own are neither read nor changed).
#
# On a desktop the pieces play through the sound card, one after the other,
# round and round; Esc ends the player.
#
# With QORVE_AUDIO=wav:PATH the sound goes into the WAV file PATH instead, in
# real time, and the run ends by itself after the last piece: the player is
# ended the orderly way (SIGTERM, as the exit key) the moment the series comes
# round to the first piece again, before that piece is heard. Without a display
# the player runs offscreen, so this works on a machine with neither a sound
# card nor a screen:
#   QORVE_AUDIO=wav:/tmp/demo.wav scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target qorve qorve-info

# The pieces are committed; scripts/make_demo.py makes them again.
[ -e demo/03-evening.flac ] || python3 scripts/make_demo.py demo

work=$(mktemp -d)
player=0
cleanup() {
  if [ "$player" != 0 ]; then kill "$player" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export QORVE_HOME="$work/settings"
mkdir -p "$QORVE_HOME"
# Series mode; the log tells this script which piece is playing.
printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=2\r\nEND=1\r\n' >"$QORVE_HOME/$(id -un).INI"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi

pieces=("$root"/demo/*)
echo "demo: ${#pieces[@]} pieces in demo/"
for piece in "${pieces[@]}"; do
  build/bin/qorve-info "$piece" | sed -n 's/.*"title":"\([^"]*\)".*"length":\([0-9.]*\).*/  \1 (\2 s)/p'
done

case "${QORVE_AUDIO:-}" in
  wav:* | wav-fast:*)
    echo "demo: writing the sound to ${QORVE_AUDIO#*:}"
    export QORVE_MIXER=${QORVE_MIXER:-virtual}  # a file needs no master volume
    rm -f "${QORVE_AUDIO#*:}"
    build/bin/qorve "$root/demo" -C &
    player=$!
    # The series has come round when the first piece is loaded again, this
    # time by a move (kind filter 1) rather than by the start (filter 0).
    wrapped="\"${pieces[0]}\" , \"1\""
    while kill -0 "$player" 2>/dev/null; do
      if grep -qF "$wrapped" "$QORVE_HOME/LOG.TXT" 2>/dev/null; then
        kill -TERM "$player"
        break
      fi
      sleep 0.02
    done
    wait "$player"
    player=0
    echo "demo: done"
    ;;
  *)
    echo "demo: playing; Esc ends the player"
    exec build/bin/qorve "$root/demo" -C
    ;;
esac
