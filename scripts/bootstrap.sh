#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# Safe to run again: packages already present are skipped, and when all are
# present it returns at once without touching apt.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  # user interface and X11
  qt6-base-dev qt6-qpa-plugins libgl-dev libx11-dev libxcb1-dev libxi-dev libxtst-dev
  qt6-webengine-dev qt6-pdf-dev fonts-noto-cjk
  qt6-translations-l10n
  # Qt's SVG picture reader, as desktops have it: pictures that are drawings are refused
  libqt6svg6
  xvfb xauth xdotool trayer imagemagick x11-apps x11-utils
  # Wayland sessions: a headless compositor with Xwayland for the tests, Qt's
  # Wayland platform, the session bus and the portals' D-Bus interfaces
  weston xwayland qt6-wayland dbus xdg-desktop-portal-dev
  # desktop integration: file associations and the MIME database
  xdg-utils shared-mime-info libglib2.0-bin
  # sound, video and decoders
  libasound2-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-libav gstreamer1.0-alsa gstreamer1.0-pulseaudio
  gstreamer1.0-x gstreamer1.0-gl gstreamer1.0-plugins-ugly
  libfluidsynth-dev timgm6mb-soundfont
  libvorbis-dev libflac-dev libpng-dev zlib1g-dev libmpg123-dev libgme-dev libopenmpt-dev
  # Windows Metafiles: libwmf draws them, with the URW fonts for their text
  libwmf-dev fonts-urw-base35
  libarchive-dev liblhasa-dev libmspack-dev libunarr-dev libcurl4-openssl-dev libavcodec-dev libavformat-dev libavutil-dev
  libswscale-dev libswresample-dev
  # tools that make and check test media
  sox flac vorbis-tools lame ffmpeg mpg123 jlha-utils
  # backtraces of a program an end-to-end test finds stuck
  gdb
  # the system calls of a program: which files and addresses it reaches
  strace
  python3-mido
  # installation and packaging checks
  desktop-file-utils dpkg-dev groff-base debootstrap
  # desktop remotes: a private session bus and the MPRIS command-line remote
  dbus-daemon playerctl
  # peers the performance measurements compare the player with
  mpv
  # archives: reference unpackers and a cabinet maker for the archive tests
  libarchive-tools lhasa cabextract gcab
  # tracker modules: the reference player, and game packages whose songs the tests play
  openmpt123 tecnoballz-data freedroid-data
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
