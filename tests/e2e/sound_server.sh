# Shared by the end-to-end tests that play through a real sound server: a
# private PipeWire session or a real PulseAudio daemon, each in a runtime
# folder of its own under $work, and recordings of what a sink plays, taken
# from its monitor. Source it after x_session.sh and start the test with
# begin_sound_e2e (begin_e2e, plus an exit trap that ends every server and
# recorder before the folder goes).
#
#   need_pipewire, need_pulseaudio   skip the test (77) unless the programs are
#                                    there; under CI=true a missing one fails it
#   pipewire_start SINK...           pipewire, wireplumber and pipewire-pulse on a
#                                    private session bus, with null sinks SINK...
#                                    (the first is the default); returns once a
#                                    client sees them all. Again after
#                                    pipewire_kill: the same runtime folder, so
#                                    clients find the socket where it was
#   pipewire_kill                    SIGKILL to the three servers, as a crash
#   pulseaudio_start SINK...         a PulseAudio daemon with null sinks SINK...
#                                    (the first is the default)
#   sound_sink_remove SINK           the sink goes as an unplugged card does
#   default_sink                     the name of the server's default sink
#   sink_inputs                      the streams playing, "SINK-NAME" a line
#   recording_start NAME SINK        records SINK's monitor into $work/NAME.raw
#                                    (48 kHz mono, signed 16-bit little-endian)
#                                    and returns once sound data flows; the
#                                    wall-clock time of its first sample goes
#                                    in $work/NAME.start
#   recording_stop NAME
#   recording NAME                   "PATH@START", as sweep_position.py takes it
#   now                              the wall clock in seconds, with fractions
#   guard_memory PID MB              kills the process once it holds more than
#                                    MB of memory (a player whose memory runs
#                                    away must not take the machine with it);
#                                    memory_guard_killed says whether it did
#   watch_load PID SECONDS           the process's use of the processor and its
#                                    growth in memory over SECONDS: sets
#                                    load_cpu (percent of one core),
#                                    load_rss_mb and load_seconds (the time
#                                    watched: less when the process ended or
#                                    grew by more than 500 MB)
#   sounding NAME                    seconds of sound in recording NAME so far
#   check WHAT COMMAND...            prints "ok: WHAT" or "FAIL: WHAT" by the
#                                    command's status; failures[] keeps the
#                                    failed ones for the test's verdict
#   below V LIMIT, at_least V LIMIT  number comparisons ("never" is not below)
#   elapsed A B                      B - A seconds, two decimals
#
# After pipewire_start the player reaches the session through ALSA's
# "default" PCM (pipewire-alsa) with QORVE_AUDIO unset; after
# pulseaudio_start through ALSA's "pulse" PCM (QORVE_AUDIO_DEVICE=pulse,
# libasound2-plugins). Both export PULSE_SERVER for pactl and parec.

declare -A sound_pids=()        # server name -> pid
declare -A recorder_pids=()     # recording name -> pid
guard_pids=()
sound_bus_pid=
sound_kind=

# The real PulseAudio daemon cannot be installed beside pipewire-alsa, so
# scripts/bootstrap.sh unpacks its package here.
pulseaudio_root=${QORVE_PULSEAUDIO_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/qorve-test/pulseaudio}

now() { date +%s.%N; }

# Skips (77) with REASON, or fails under CI, where nothing may be skipped.
skip_sound_test() {  # reason
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1 (CI installs it with scripts/bootstrap.sh)"
    exit 1
  fi
  echo "SKIP: $1"
  exit 77
}

need_pipewire() {
  local tool
  for tool in pipewire wireplumber pipewire-pulse pactl parec pw-cli dbus-daemon; do
    command -v "$tool" >/dev/null || skip_sound_test "$tool is not installed"
  done
  [ -n "$(find /usr/lib -name libasound_module_pcm_pipewire.so -print -quit 2>/dev/null)" ] ||
    skip_sound_test "pipewire-alsa is not installed"
}

need_pulseaudio() {
  local tool
  for tool in pactl parec; do
    command -v "$tool" >/dev/null || skip_sound_test "$tool is not installed"
  done
  [ -x "$pulseaudio_root/usr/bin/pulseaudio" ] ||
    skip_sound_test "no PulseAudio daemon in $pulseaudio_root (scripts/bootstrap.sh unpacks it)"
  [ -n "$(find /usr/lib -name libasound_module_pcm_pulse.so -print -quit 2>/dev/null)" ] ||
    skip_sound_test "libasound2-plugins is not installed"
}

begin_sound_e2e() {
  begin_e2e
  trap 'sound_servers_stop; end_e2e' EXIT
}

# Waits up to SECONDS for the server to list every SINK and make the first
# the default.
wait_for_sinks() {  # seconds sink...
  local limit=$1 deadline
  shift
  deadline=$(($(date +%s) + limit))
  while [ "$(date +%s)" -le "$deadline" ]; do
    if sinks_listed "$@" && [ "$(default_sink)" = "$1" ]; then return 0; fi
    sleep 0.1
  done
  echo "the sound server did not offer the sinks $* within $limit s (it has: $(pactl list short sinks 2>&1 | cut -f2 | paste -sd ' '))"
  return 1
}

sinks_listed() {  # sink...
  local listed sink
  listed=$(timeout 5 pactl list short sinks 2>/dev/null | cut -f2) || return 1
  for sink in "$@"; do
    grep -qx "$sink" <<<"$listed" || return 1
  done
}

default_sink() { timeout 5 pactl get-default-sink 2>/dev/null; }

# The streams playing, as "SINK-NAME" lines.
sink_inputs() {
  local names
  names=$(timeout 5 pactl list short sinks 2>/dev/null | awk -F'\t' '{ print $1 "\t" $2 }')
  timeout 5 pactl list short sink-inputs 2>/dev/null | while IFS=$'\t' read -r _ sink _; do
    awk -F'\t' -v id="$sink" '$1 == id { print $2 }' <<<"$names"
  done
}

pipewire_start() {  # sink...
  local root="$work/pipewire" priority=3000 sink name
  sound_kind=pipewire
  if [ ! -d "$root" ]; then
    mkdir -p "$root/config/pipewire/pipewire.conf.d" "$root/home" "$root/state"
    mkdir -m 700 "$root/runtime"
    # Null sinks, made by the server itself so that they are there again
    # after a restart. They never suspend: a recorder on a monitor then gets
    # a steady stream of samples, silence included, and its sample count
    # keeps the wall clock.
    {
      echo "context.objects = ["
      for sink in "$@"; do
        cat <<EOF
  { factory = adapter
    args = {
      factory.name = support.null-audio-sink
      node.name = "$sink"
      node.description = "$sink"
      media.class = Audio/Sink
      audio.position = [ FL FR ]
      monitor.channel-volumes = true
      priority.session = $priority
      priority.driver = $priority
      session.suspend-timeout-seconds = 0
      node.pause-on-idle = false
    }
  }
EOF
        priority=$((priority - 100))
      done
      echo "]"
    } >"$root/config/pipewire/pipewire.conf.d/test-sinks.conf"
    printf '%s\n' "$@" >"$root/sinks"
  fi
  if [ -z "$sound_bus_pid" ]; then
    { read -r sound_bus_address; read -r sound_bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  fi
  export PIPEWIRE_RUNTIME_DIR="$root/runtime" PULSE_SERVER="unix:$root/runtime/pulse/native"
  unset PIPEWIRE_REMOTE
  for name in pipewire wireplumber pipewire-pulse; do
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$root/runtime" PIPEWIRE_RUNTIME_DIR="$root/runtime" \
      HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_STATE_HOME="$root/state" \
      DBUS_SESSION_BUS_ADDRESS="$sound_bus_address" "$name" >>"$root/$name.log" 2>&1 &
    sound_pids[$name]=$!
    # WirePlumber and pipewire-pulse connect to the server's socket.
    [ "$name" != pipewire ] ||
      wait_for "[ -S '$root/runtime/pipewire-0' ] && timeout 5 pw-cli info 0" 20 ||
      { tail -n 20 "$root/pipewire.log"; return 1; }
  done
  mapfile -t sinks <"$root/sinks"
  wait_for_sinks 30 "${sinks[@]}" || { tail -n 20 "$root"/*.log; return 1; }
}

pipewire_kill() {
  local name
  for name in pipewire wireplumber pipewire-pulse; do
    [ -n "${sound_pids[$name]:-}" ] && kill -KILL "${sound_pids[$name]}" 2>/dev/null || true
  done
  for name in pipewire wireplumber pipewire-pulse; do
    [ -n "${sound_pids[$name]:-}" ] && { wait "${sound_pids[$name]}" 2>/dev/null || true; }
    unset "sound_pids[$name]"
  done
}

pulseaudio_start() {  # sink...
  local root="$work/pulseaudio" modules libraries sink
  local arguments=(-n --daemonize=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit --log-target=stderr)
  sound_kind=pulseaudio
  mkdir -p "$root/home"
  mkdir -m 700 -p "$root/runtime"
  modules=$(find "$pulseaudio_root/usr/lib" -maxdepth 2 -type d -path '*/pulse-*/modules' | head -n 1)
  libraries=$(find "$pulseaudio_root/usr/lib" -maxdepth 2 -type d -name pulseaudio | head -n 1)
  arguments+=(-p "$modules")
  for sink in "$@"; do
    arguments+=(-L "module-null-sink sink_name=$sink")
  done
  arguments+=(-L "module-native-protocol-unix auth-anonymous=1")
  env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$root/runtime" \
    PULSE_RUNTIME_PATH="$root/runtime" HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" \
    LD_LIBRARY_PATH="$libraries:$modules" "$pulseaudio_root/usr/bin/pulseaudio" "${arguments[@]}" \
    >>"$root/pulseaudio.log" 2>&1 &
  sound_pids[pulseaudio]=$!
  export PULSE_SERVER="unix:$root/runtime/native"
  wait_for "sinks_listed $*" 30 || { tail -n 20 "$root/pulseaudio.log"; return 1; }
  pactl set-default-sink "$1"
  wait_for_sinks 10 "$@" || return 1
}

sound_sink_remove() {  # sink
  local id module
  id=$(timeout 5 pactl list short sinks | awk -F'\t' -v name="$1" '$2 == name { print $1 }')
  [ -n "$id" ] || { echo "no sink $1 to remove"; return 1; }
  if [ "$sound_kind" = pipewire ]; then
    # A sink of the server's own configuration: its node is destroyed, as a
    # card's node goes when the card is unplugged.
    timeout 5 pw-cli destroy "$id" >/dev/null
  else
    module=$(timeout 5 pactl list short modules |
      awk -F'\t' -v name="$1" '$2 == "module-null-sink" && $3 ~ "sink_name=" name "( |$)" { print $1 }')
    pactl unload-module "$module"
  fi
  wait_for "! sinks_listed $1" 10
}

recording_start() {  # name sink
  local file="$work/$1.raw" size stamp
  : >"$file"
  parec --device="$2.monitor" --format=s16le --rate=48000 --channels=1 --raw --latency-msec=20 \
    >"$file" 2>"$work/$1.parec.log" &
  recorder_pids[$1]=$!
  # The first sample's time: when data is first seen, less what it holds.
  if ! wait_for "[ -s '$file' ]" 10; then
    cat "$work/$1.parec.log"
    return 1
  fi
  stamp=$(now)
  size=$(stat -c %s "$file")
  awk -v t="$stamp" -v s="$size" 'BEGIN { printf "%.3f\n", t - s / 96000 }' >"$work/$1.start"
}

recording_stop() {  # name
  local pid=${recorder_pids[$1]:-}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset "recorder_pids[$1]"
}

guard_memory() {  # pid mb
  rm -f "$work/memory-guard-killed"
  (
    while running "$1"; do
      if [ "$(rss_kib "$1" 2>/dev/null || echo 0)" -gt $(($2 * 1024)) ]; then
        echo "process $1 held more than $2 MB of memory: killed" | tee "$work/memory-guard-killed"
        kill -KILL "$1"
        break
      fi
      sleep 0.2
    done
  ) &
  guard_pids+=($!)
}

memory_guard_killed() { [ -f "$work/memory-guard-killed" ]; }

# Processor seconds (user and system) process PID has used.
cpu_seconds() {  # pid
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); printf "%.3f\n", ($12 + $13) / hz }' "/proc/$1/stat"
}

rss_kib() {  # pid
  awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

watch_load() {  # pid seconds
  local pid=$1 seconds=$2 start_time start_cpu start_rss end_time end_cpu rss deadline
  start_time=$(now)
  start_cpu=$(cpu_seconds "$pid")
  start_rss=$(rss_kib "$pid")
  deadline=$(awk -v t="$start_time" -v s="$seconds" 'BEGIN { printf "%.3f", t + s }')
  end_cpu=$start_cpu
  rss=$start_rss
  while awk -v t="$(now)" -v d="$deadline" 'BEGIN { exit !(t < d) }'; do
    sleep 0.25
    running "$pid" || break
    end_cpu=$(cpu_seconds "$pid") && rss=$(rss_kib "$pid") || break
    [ $((rss - start_rss)) -lt 512000 ] || break
  done
  end_time=$(now)
  load_cpu=$(awk -v a="$start_cpu" -v b="$end_cpu" -v s="$start_time" -v e="$end_time" \
    'BEGIN { printf "%.1f", 100 * (b - a) / (e - s) }')
  load_rss_mb=$(awk -v a="$start_rss" -v b="$rss" 'BEGIN { printf "%.1f", (b - a) / 1024 }')
  load_seconds=$(awk -v s="$start_time" -v e="$end_time" 'BEGIN { printf "%.1f", e - s }')
}

recording() { echo "$work/$1.raw@$(cat "$work/$1.start")"; }

sound_servers_stop() {
  local name
  for name in "${!recorder_pids[@]}"; do recording_stop "$name"; done
  for name in "${guard_pids[@]}"; do kill "$name" 2>/dev/null || true; done
  guard_pids=()
  for name in "${!sound_pids[@]}"; do kill -KILL "${sound_pids[$name]}" 2>/dev/null || true; done
  for name in "${!sound_pids[@]}"; do wait "${sound_pids[$name]}" 2>/dev/null || true; done
  sound_pids=()
  if [ -n "$sound_bus_pid" ]; then
    kill "$sound_bus_pid" 2>/dev/null || true
    sound_bus_pid=
  fi
}

sounding() { python3 "$(dirname "${BASH_SOURCE[0]}")/sweep_position.py" --sounding "$work/$1.raw"; }
at_least() { awk -v v="$1" -v m="$2" 'BEGIN { exit !(v >= m) }'; }
below() { awk -v v="$1" -v m="$2" 'BEGIN { exit !(v != "never" && v < m) }'; }
# A share of a core a player may use while it waits: the given one, three times
# that in a sanitizer's build (scripts/sanitize.sh), whose every allocation and
# access costs more. A busy loop takes a whole core in either.
cpu_limit() { if [ -n "${QORVE_SANITIZED:-}" ]; then echo $(($1 * 3)); else echo "$1"; fi; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
failures=()
check() {  # what command...
  local what=$1
  shift
  if "$@"; then echo "  ok: $what"; else echo "  FAIL: $what"; failures+=("$what"); fi
}
