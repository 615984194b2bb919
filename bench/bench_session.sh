# Shared by the benchmark scripts: a private folder `work` and a private Xvfb
# for the length of the run; every process whose pid is put into `pids` is
# stopped at the end. Source it from the project folder.
source scripts/lib/xvfb.sh
source scripts/lib/wait.sh

work=$(mktemp -d)
pids=()
end_bench_session() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  stop_xvfb
  rm -rf "$work"
}
trap end_bench_session EXIT
trap "exit 1" INT TERM HUP PIPE
start_xvfb "$work/xvfb.log" || { echo "Xvfb did not start" >&2; exit 1; }
