# Sourced by the scripts that wait for something to become true.

# Waits up to $2 seconds (default 10) for a command to succeed.
wait_for() {
  local command=$1 limit=${2:-10} i
  for i in $(seq 1 $((limit * 10))); do
    if eval "$command" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "timed out waiting for: $command"
  return 1
}
