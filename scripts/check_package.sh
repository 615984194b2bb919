#!/usr/bin/env bash
# Proves the Debian package on a clean Debian 12 system: makes the package from
# build/ (cpack), creates a minimal bookworm root with debootstrap, installs the
# package there with apt (which fetches everything it depends on) and runs the
# installed programs inside it: qorve-info on an Ogg Vorbis file, and the
# player started from its menu entry (gio launch, as a desktop menu does) under
# Xvfb, which must show its window and play the file into a capture file, and
# then show an HTML page (the browser module and its Chromium).
# Needs root (debootstrap, chroot, mounts) and the Debian mirror.
# Usage: scripts/check_package.sh [ROOT]  (default /tmp/qorve-clean-root; made anew)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/tmp/qorve-clean-root}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
[[ $(id -u) == 0 ]] || { echo "run as root" >&2; exit 2; }
for tool in debootstrap cpack sox oggenc convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done

step() { echo "== $*"; }

step "package"
cmake --build build
(cd build && cpack -G DEB >/dev/null)
package=$(ls -t build/qorve_*_amd64.deb | head -n 1)
echo "$package ($(du -k "$package" | cut -f1) kB)"

unmount() {
  for mount in dev/pts dev sys proc; do umount -l "$root/$mount" 2>/dev/null || true; done
}
trap unmount EXIT
unmount
rm -rf "$root"
step "clean Debian 12 root in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
  { tail -n 20 "$root.debootstrap.log"; exit 1; }
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"

# The material: a five-second Ogg Vorbis file made here, copied in.
sox -n -r 44100 -c 2 -b 16 "$root/root/piece.wav" synth 5 pluck 220 pluck 330 vol 0.4 2>/dev/null
oggenc -Q -q 4 "$root/root/piece.wav" -o "$root/root/piece.ogg"
rm "$root/root/piece.wav"
echo "<html><body style='margin:0;background:rgb(0,160,80)'></body></html>" >"$root/root/page.html"
cp "$package" "$root/root/qorve.deb"

step "apt install ./qorve.deb"
in_root() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
in_root apt-get update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/qorve.deb >"$root.apt.log" 2>&1 ||
  { tail -n 30 "$root.apt.log"; exit 1; }
grep -E '^(Setting up qorve|[0-9]+ upgraded)' "$root.apt.log"
in_root dpkg -s qorve | grep -E '^(Status|Version)'
for file in /usr/bin/qorve /usr/bin/qorve-set /usr/bin/pakgrab /usr/bin/qorve-info \
  /usr/share/applications/qorve.desktop /usr/share/icons/hicolor/scalable/apps/qorve.svg \
  /usr/share/icons/hicolor/48x48/apps/qorve.png /usr/share/metainfo/io.github.qorve.Qorve.metainfo.xml \
  /usr/share/doc/qorve/copyright /usr/share/man/man1/qorve.1.gz; do
  [[ -e "$root$file" ]] || { echo "missing $file" >&2; exit 1; }
done

step "qorve-info /root/piece.ogg"
in_root qorve-info /root/piece.ogg | tee "$root.info.txt"
grep -q 'OGG' "$root.info.txt"

step "the menu entry under Xvfb"
# Only the tools to drive the check; the player's own needs came with it.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  xvfb xauth x11-utils x11-apps libglib2.0-bin >/dev/null
in_root grep -E '^(Exec|MimeType)=' /usr/share/applications/qorve.desktop | cut -c1-120
cat >"$root/root/launch.sh" <<'EOF'
set -u
# -noreset: the server would reset whenever its last client (each xwininfo
# probe) leaves, dropping a client that connects during the reset.
Xvfb :57 -noreset -screen 0 1280x1024x24 -nolisten tcp >/root/xvfb.log 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do xwininfo -root -display :57 >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=:57 QORVE_AUDIO=wav:/root/capture.wav QORVE_MIXER=virtual
# The players started here carry this mark: the root shares its process
# table with the machine, where other players may run.
export QORVE_PACKAGE_CHECK=$$
players() { grep -lsz "^QORVE_PACKAGE_CHECK=$QORVE_PACKAGE_CHECK\$" /proc/[0-9]*/environ | cut -d/ -f3; }
stop_players() { kill $(players) 2>/dev/null; sleep 1; }
gio launch /usr/share/applications/qorve.desktop /root/piece.ogg >/root/qorve.log 2>&1
shown=no
for _ in $(seq 1 100); do
  if xwininfo -root -tree | grep -q '"KESTRAVOX"'; then shown=yes; break; fi
  sleep 0.1
done
echo "window shown: $shown"
for _ in $(seq 1 100); do
  [[ -f /root/capture.wav && $(stat -c %s /root/capture.wav) -gt 200000 ]] && break
  sleep 0.1
done
echo "captured bytes: $(stat -c %s /root/capture.wav 2>/dev/null || echo 0)"
stop_players
gio launch /usr/share/applications/qorve.desktop /root/page.html >/root/page.log 2>&1
sleep 8
for pid in $(players); do grep -o '/usr/lib/qorve/qorve-browser.so' /proc/$pid/maps 2>/dev/null; done | sort -u
xwd -root -silent >/root/page.xwd
stop_players
kill $xvfb
[[ $shown == yes ]]
EOF
in_root bash /root/launch.sh
bytes=$(stat -c %s "$root/root/capture.wav")
((bytes > 200000)) || { echo "no sound was played" >&2; cat "$root/root/qorve.log" >&2; exit 1; }
python3 - "$root/root/capture.wav" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()[44:]
samples = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
peak = max(abs(s) for s in samples)
print("peak sample", peak)
sys.exit(0 if peak > 1000 else 1)
PY
# The page fills the 640 x 480 document window in the middle of the screen.
share=$(convert "xwd:$root/root/page.xwd" -crop 640x480+320+272 +repage -fill black +opaque 'rgb(0,160,80)' \
  -fill white -opaque 'rgb(0,160,80)' -format '%[fx:mean]' info:)
echo "document window in the page's colour: $share"
awk -v s="$share" 'BEGIN {exit !(s > 0.9)}' || { echo "the document did not show" >&2; exit 1; }
step "the package installs, plays and shows documents on a clean Debian 12"
