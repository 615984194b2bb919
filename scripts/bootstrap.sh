#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with, and
# unpacks the PulseAudio daemon the sound-server tests run.
# Safe to run again: packages already present are skipped, and when all are
# present (and the daemon is unpacked) it returns at once without touching apt.
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
  # xrdb: the tests set the X resources (Xft.dpi) a high-resolution desktop sets
  x11-xserver-utils
  # Wayland sessions: a headless compositor with Xwayland for the tests, Qt's
  # Wayland platform, the session bus and the portals' D-Bus interfaces
  weston xwayland qt6-wayland dbus xdg-desktop-portal-dev
  # real desktops for the end-to-end tests: KDE Plasma's compositor with its
  # global shortcuts and portal backend, GNOME's compositor, the portals'
  # front, and Python's D-Bus for the test's notification server
  kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde libkf5globalaccel-bin mutter
  gsettings-desktop-schemas python3-dbus python3-gi
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
  desktop-file-utils dpkg-dev groff-base debootstrap lintian appstream
  # the icon drawn at each size at build time
  librsvg2-bin
  # desktop remotes: a private session bus and the MPRIS command-line remote
  dbus-daemon playerctl
  # peers the performance measurements compare the player with
  mpv
  # archives: reference unpackers and a cabinet maker for the archive tests
  libarchive-tools lhasa cabextract gcab
  # tracker modules: the reference player, and game packages whose songs the tests play
  openmpt123 tecnoballz-data freedroid-data
  # real sound servers for the end-to-end tests: a PipeWire session reached
  # through ALSA's default PCM, and ALSA's pulse PCM; pactl and parec drive
  # and record both
  pipewire pipewire-bin wireplumber pipewire-pulse pipewire-alsa pulseaudio-utils dbus libasound2-plugins
  # the libraries of the PulseAudio daemon, which pipewire-alsa keeps from
  # being installed: its package is unpacked below instead
  libltdl7 libsndfile1 liborc-0.4-0 libsoxr0 libspeexdsp1 libtdb1 libwrap0 libfftw3-single3
  libwebrtc-audio-processing1
)

# The PulseAudio daemon, unpacked where the tests look for it
# (tests/e2e/sound_server.sh), in the version of the installed libpulse0.
unpack_pulseaudio() {
  local root=${QORVE_PULSEAUDIO_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/qorve-test/pulseaudio} version download
  version=$(dpkg-query -W -f='${Version}' libpulse0)
  [ "$(cat "$root/version" 2>/dev/null)" = "$version" ] && [ -x "$root/usr/bin/pulseaudio" ] && return 0
  echo "bootstrap: unpacking pulseaudio $version into $root"
  download=$(mktemp -d)
  (cd "$download" && apt-get download -q "pulseaudio=$version" >/dev/null 2>&1) || {
    "${sudo_cmd[@]}" apt-get update -qq
    (cd "$download" && apt-get download -q "pulseaudio=$version" >/dev/null)
  }
  rm -rf "$root"
  mkdir -p "$root"
  dpkg-deb -x "$download"/pulseaudio_*.deb "$root"
  echo "$version" >"$root/version"
  rm -rf "$download"
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
unpack_pulseaudio
