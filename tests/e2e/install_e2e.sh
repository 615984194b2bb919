#!/usr/bin/env bash
# `cmake --install` into a private prefix: the programs, their modules and the
# codec list in one program folder, links in bin that the programs resolve to
# find their siblings (qorve-info then plays the demo's modules from there),
# desktop entries that validate, the file-type dialog of the installed copy,
# manual pages that format without warnings, AppStream metadata that
# validates and provides every type the desktop entry opens, the icon at each
# size. Then the Debian package: its file list, its dependencies, and lintian
# without errors.
# Usage: install_e2e.sh BUILD_FOLDER (exit 77, skipped, without the tools;
# under CI the package checkers must be there)
set -euo pipefail
build=$(cd "$1" && pwd)
demo=$(cd "$(dirname "$0")/../../demo" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for tool in lintian appstreamcli; do
  command -v "$tool" >/dev/null && continue
  [ -n "${CI:-}" ] && { echo "FAIL: $tool is not installed (scripts/bootstrap.sh installs it)"; exit 1; }
  echo "SKIP: $tool is not installed"; exit 77
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QORVE_HOME="$work/home" QORVE_MIXER=virtual
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
programs=()
for program in qorve qorve-info qorve-set pakgrab; do
  [ -x "$build/bin/$program" ] && programs+=("$program")
done
for program in "${programs[@]}"; do
  [ "$(readlink "$prefix/bin/$program")" = "../lib/qorve/$program" ] || fail "bin/$program is not a link into lib/qorve"
  [ -x "$prefix/lib/qorve/$program" ] || fail "lib/qorve/$program missing"
  [ -f "$prefix/share/man/man1/$program.1.gz" ] || fail "manual page of $program missing"
done
for module in "$build"/bin/*.so "$build"/bin/spi/*.spi; do
  [ -e "$module" ] || continue
  relative=${module#"$build/bin/"}
  [ -f "$prefix/lib/qorve/$relative" ] || fail "module $relative not installed"
done
[ -f "$prefix/lib/qorve/Codec" ] || fail "codec list not installed"
[ -f "$prefix/share/icons/hicolor/scalable/apps/qorve.svg" ] || fail "icon not installed"
for size in 16 22 24 32 48 64 128 256; do
  pixels=$(identify -format %wx%h "$prefix/share/icons/hicolor/${size}x$size/apps/qorve.png" 2>&1 || true)
  [ "$pixels" = "${size}x$size" ] || fail "icon ${size}x$size: $pixels"
done

# Started through its link, the program finds its folder and plays from there.
out=$(cd "$work" && "$prefix/bin/qorve-info" "$demo/01-morning.ogg")
case "$out" in *'"result":0'*'"format":"OGG"'*) ;; *) fail "installed qorve-info: $out" ;; esac

if command -v desktop-file-validate >/dev/null; then
  for entry in "$prefix"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "$(basename "$entry") does not validate"
  done
fi
grep -q "^Exec=$prefix/bin/qorve %f$" "$prefix/share/applications/qorve.desktop" || fail "Exec line of qorve.desktop"
grep -q '^MimeType=.*audio/ogg;.*image/png;.*video/mpeg;.*application/zip;' \
  "$prefix/share/applications/qorve.desktop" || fail "MimeType line of qorve.desktop"
metainfo="$prefix/share/metainfo/io.github.qorve.Qorve.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metadata does not validate"
grep -q '<launchable type="desktop-id">qorve.desktop</launchable>' "$metainfo" || fail "metainfo launchable"
provided=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>|\1|p' "$metainfo")
for type in $(sed -n 's/^MimeType=//p' "$prefix/share/applications/qorve.desktop" | tr ';' ' '); do
  grep -qxF "$type" <<<"$provided" || fail "the metainfo does not provide $type"
done
# The file-type dialog of the installed programs (the probe put beside them,
# so the player it registers is the installed one): the installed entry
# starts the player through the bin link and counts as the player's, and
# checking a type writes the associations' own entry, which leaves
# qorve.desktop to the menus.
if [ -x "$build/bin/file_type_probe" ] && command -v xdg-mime >/dev/null; then
  cp "$build/bin/file_type_probe" "$prefix/lib/qorve/file_type_probe"
  desk="$work/desk"
  mkdir -p "$desk/share" "$desk/etc-xdg" "$desk/home/.config"
  ln -s /usr/share/mime "$desk/share/mime"
  printf '[Default Applications]\naudio/ogg=qorve.desktop;\n' > "$desk/home/.config/mimeapps.list"
  in_desk() {
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
      HOME="$desk/home" XDG_DATA_HOME="$desk/home/.local/share" XDG_CONFIG_HOME="$desk/home/.config" \
      XDG_DATA_DIRS="$prefix/share:$desk/share" XDG_CONFIG_DIRS="$desk/etc-xdg" QT_QPA_PLATFORM=offscreen "$@"
  }
  boxes=$(in_desk "$prefix/lib/qorve/file_type_probe" =OGG WAV 2>/dev/null)
  grep -qx "OGG 1" <<<"$boxes" || fail "OGG, opened by the installed entry through bin/qorve, is not the player's"
  grep -qx "WAV 1" <<<"$boxes" || fail "checking WAV did not make the player its program"
  [ ! -e "$desk/home/.local/share/applications/qorve.desktop" ] || fail "registering hid the installed qorve.desktop"
  [ "$(in_desk xdg-mime query default audio/x-wav)" = qorve-open.desktop ] || fail "xdg-mime default of audio/x-wav"
  grep -q "^Exec=$prefix/lib/qorve/qorve %f$" "$desk/home/.local/share/applications/qorve-open.desktop" ||
    fail "Exec line of qorve-open.desktop"
  rm "$prefix/lib/qorve/file_type_probe"
  echo "file types: the installed entry is the player's; qorve-open.desktop opens audio/x-wav"
fi
if command -v groff >/dev/null; then
  for page in "$prefix"/share/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
fi

# The Debian package, made in a copy of the build's CPack settings so the
# build folder stays as it was.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null 2>&1) || fail "cpack"
deb=$(ls "$work"/package/qorve_*.deb)
listing=$(dpkg-deb -c "$deb")
for program in "${programs[@]}"; do
  grep -q "./usr/bin/$program -> ../lib/qorve/$program" <<<"$listing" || fail "package link of $program"
  grep -q "./usr/lib/qorve/$program\$" <<<"$listing" || fail "package program $program"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libgstreamer1.0-0 libasound2 gstreamer1.0-plugins-good; do
  grep -q "$library" <<<"$depends" || fail "package does not depend on $library"
done

# Errors fail; warnings and the overrides in use are shown.
lintian --fail-on error --show-overrides "$deb" || fail "lintian finds errors in $(basename "$deb")"

[ "$failures" -eq 0 ] && echo "install: ${#programs[@]} programs, package $(basename "$deb")"
exit $((failures > 0))
