#!/usr/bin/env bash
# qorve-info on archives and split files: it tells what the player would make
# of them (kind 5, the format, the members and their unpacked size, the parts
# a REZ control file names) and writes nothing: no folder on the desktop, no
# joined output, no backup.
# Usage: archive_probe_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in zip tar python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
begin_offscreen_e2e
fail() { echo "FAIL: $*"; exit 1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QORVE_HOME="$work/settings"
desktop="$work/desktop"
mkdir -p "$XDG_CONFIG_HOME" "$QORVE_HOME" "$work/src/docs" "$work/in"
echo "XDG_DESKTOP_DIR=\"$desktop\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
printf 'read me\n' >"$work/src/readme.txt"
head -c 3000 /dev/zero | tr '\0' g >"$work/src/docs/guide.txt"
(cd "$work/src" && zip -q "$work/in/pack.zip" readme.txt docs/guide.txt && tar czf "$work/in/pack.tar.gz" readme.txt docs)

# A control file joining part.1 and part.2 (5 and 7 bytes) into joined.bin.
python3 - "$work/in" <<'PY'
import os, sys
folder = sys.argv[1]
def record(name):
    return bytes(6) + bytes([len(name), 0]) + name
out = b'joined.bin'
with open(os.path.join(folder, 'split.rez'), 'wb') as f:
    f.write(b'REZ\0' + bytes([2]) + bytes(5) + bytes([len(out), 0]) + out + record(b'part.1') + record(b'part.2'))
open(os.path.join(folder, 'part.1'), 'wb').write(b'12345')
open(os.path.join(folder, 'part.2'), 'wb').write(b'6789abc')
PY
# Everything but the settings and the runtime folder, which are the program's own.
tree() { (cd "$work" && find . -path ./settings -prune -o -path ./runtime -prune -o -print | sort); }
unchanged_since() {  # tree-before
  local after
  after=$(tree)
  [ "$1" = "$after" ] || fail "qorve-info wrote: $(diff <(echo "$1") <(echo "$after") | grep '^[<>]' | tr '\n' ' ')"
  [ ! -e "$desktop" ] || fail "qorve-info made the desktop folder"
}

probe() {  # file fragment...
  local file=$1 json
  shift
  json=$("$bin/qorve-info" "$file")
  for fragment in "$@"; do
    [[ "$json" == *"$fragment"* ]] || fail "$(basename "$file"): no $fragment in $json"
  done
  echo "ok   qorve-info $(basename "$file")"
}
before=$(tree)
probe "$work/in/pack.zip" '"result":9' '"kind":5' '"format":"ZIP"' '"members":2' '"unpackedBytes":3008'
probe "$work/in/pack.tar.gz" '"result":9' '"kind":5' '"format":"TAR.GZ"' '"members":3' '"unpackedBytes":3008'
probe "$work/in/split.rez" '"result":9' '"kind":5' '"format":"REZ"' '"members":2' '"unpackedBytes":12' \
  '"output":"joined.bin"' '"parts":["part.1","part.2"]'

unchanged_since "$before"
echo "ok   nothing written"

# A missing part: joining would stop there, so the file is unplayable.
rm "$work/in/part.2"
before=$(tree)
probe "$work/in/split.rez" '"kind":0'
unchanged_since "$before"
echo "ok   nothing written"
