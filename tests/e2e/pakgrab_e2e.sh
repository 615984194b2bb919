#!/usr/bin/env bash
# pakgrab against a page host and a file host on loopback: its dialog shows,
# it walks all twelve libraries, installs UNLHA32 (its own LHA reader, out of
# a self-extractor) and CAB32 (the cabinet inside a self-extractor), puts up
# one box for each library the site does not offer and the summary, and
# closes by itself. Every box is answered with Return as it appears. Before
# that, with no site in its settings, it only says so and changes nothing.
# Usage: pakgrab_e2e.sh BIN_FOLDER   (PAKGRAB_E2E_SHOT=FILE keeps a screenshot)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

for tool in jlha gcab python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
begin_e2e
servers=()
stop_servers() { local p; for p in "${servers[@]}"; do kill "$p" 2>/dev/null || true; done; end_e2e; }
trap stop_servers EXIT

pages="$work/pages/archiver/lib" files="$work/files/archiver/lib"
mkdir -p "$pages" "$files" "$work/make"
page() { printf '<html><body><p>[File:%s] latest</p></body></html>\n' "$2" > "$pages/$1.html"; }
( cd "$work/make" && printf 'the LHA library\n' > UNLHA32.DLL && jlha c2o5 a.lzh UNLHA32.DLL >/dev/null &&
  printf 'the cabinet library\n' > CAB32.DLL && gcab -c -z a.cab CAB32.DLL &&
  head -c 20000 /dev/urandom > stub )
cat "$work/make/stub" "$work/make/a.lzh" > "$files/lha255e.exe"
cat "$work/make/stub" "$work/make/a.cab" > "$files/cab32_102.exe"
page unlha32 lha255e.exe
page cab32 cab32_102.exe
python3 - "$files/unzip32.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("UNZIP32.DLL", "the zip library\n")
PY
page unzip32 unzip32.zip
printf '<p>no entry</p>\n' > "$pages/ungca32.html"   # the other pages are missing

serve() {  # serve FOLDER VARIABLE → the port in VARIABLE (not in a subshell, so the server is stopped at exit)
  local log="$work/server-$2.log" i
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$1" >"$log" 2>&1 &
  servers+=($!)
  for i in $(seq 100); do
    grep -q 'port [0-9]*' "$log" 2>/dev/null && break
    sleep 0.05
  done
  printf -v "$2" '%s' "$(grep -o 'port [0-9]*' "$log" | head -n 1 | cut -d' ' -f2)"
}
serve "$work/pages" page_port
serve "$work/files" file_port

export QORVE_HOME="$work/home" XDG_DATA_HOME="$work/data" TMPDIR="$work"
mkdir -p "$QORVE_HOME"
start_x_session

# No site configured: one box that says so, then the program ends having
# made no folder and fetched nothing.
"$bin/pakgrab" &
player=$!
boxes=0
for i in $(seq 300); do
  running "$player" || break
  for window in $(xdotool search --onlyvisible --name '.*' 2>/dev/null || true); do
    name=$(xdotool getwindowname "$window" 2>/dev/null || true)
    [ -n "$name" ] && [ "$name" != 'アーカイバＤＬＬインストール中' ] || continue
    [ "$boxes" -gt 0 ] || echo "  box without a site: '$name'"
    boxes=$((boxes + 1))
    xdotool windowfocus --sync "$window" key Return 2>/dev/null || true
  done
  sleep 0.1
done
if running "$player"; then echo "FAIL: pakgrab without a site still running after 30 s"; show_threads "$player"; exit 1; fi
wait "$player" || { echo "FAIL: pakgrab without a site did not exit with 0"; exit 1; }
player=0
[ "$boxes" -ge 1 ] || { echo "FAIL: no box said that no site is configured"; exit 1; }
[ ! -e "$XDG_DATA_HOME" ] || { echo "FAIL: pakgrab without a site created $XDG_DATA_HOME"; exit 1; }
[ -z "$(ls -A "$work" | grep '^pakgrab-' || true)" ] || { echo "FAIL: pakgrab without a site made a working folder"; exit 1; }
[ -z "$(cat "$work"/server-*.log | grep 'GET ' || true)" ] || { echo "FAIL: pakgrab without a site fetched something"; exit 1; }

printf '[PAKGRAB]\r\nPAGEHOST=127.0.0.1:%s\r\nFILEHOST=http://127.0.0.1:%s\r\n' "$page_port" "$file_port" \
  > "$QORVE_HOME/$(id -un).INI"
system="$XDG_DATA_HOME/qorve/system"
zip_module=0
[ -e "$bin/UNZIP32.so" ] && zip_module=1

"$bin/pakgrab" &
player=$!
dialog=""
declare -A answered=()
shot_taken=0
for i in $(seq 600); do
  running "$player" || break
  [ -n "$dialog" ] || dialog=$(xdotool search --onlyvisible --name '^アーカイバＤＬＬインストール中$' 2>/dev/null | head -n 1 || true)
  for window in $(xdotool search --onlyvisible --name '.*' 2>/dev/null || true); do
    [ "$window" = "$dialog" ] && continue
    name=$(xdotool getwindowname "$window" 2>/dev/null || true)
    [ -n "$name" ] || continue                                    # not one of ours
    [ "$name" = 'アーカイバＤＬＬインストール中' ] && continue  # the dialog, mapped since the search
    [ -n "${answered[$window]:-}" ] && [ "${answered[$window]}" -gt 20 ] && continue
    if [ "$shot_taken" = 0 ] && [ -n "${PAKGRAB_E2E_SHOT:-}" ] && [ ${#answered[@]} -ge 1 ]; then
      import -window root "$PAKGRAB_E2E_SHOT" 2>/dev/null || true
      shot_taken=1
    fi
    [ -n "${answered[$window]:-}" ] || echo "  box: $name"
    xdotool windowfocus --sync "$window" key Return 2>/dev/null || true
    answered[$window]=$(( ${answered[$window]:-0} + 1 ))
  done
  sleep 0.1
done
if running "$player"; then echo "FAIL: pakgrab still running after 60 s"; show_threads "$player"; exit 1; fi
wait "$player" || { echo "FAIL: pakgrab did not exit with 0"; exit 1; }
player=0

[ -n "$dialog" ] || { echo "FAIL: the dialog never showed"; exit 1; }
grep -qx 'the LHA library' "$system/UNLHA32.DLL" || { echo "FAIL: UNLHA32.DLL not installed"; exit 1; }
grep -qx 'the cabinet library' "$system/CAB32.DLL" || { echo "FAIL: CAB32.DLL not installed"; exit 1; }
failures=$((10 - zip_module))
expected=$((1 + failures + 1))
echo "boxes answered: ${#answered[@]} (expected $expected)"
[ "${#answered[@]}" -eq "$expected" ] || { echo "FAIL: wrong number of boxes"; exit 1; }
if [ "$zip_module" = 1 ]; then
  [ -e "$system/UNZIP32.DLL" ] || { echo "FAIL: UNZIP32.DLL not installed"; exit 1; }
fi
[ -z "$(ls -A "$work" | grep '^pakgrab-' || true)" ] || { echo "FAIL: working folder left behind"; exit 1; }
echo "PASS"
