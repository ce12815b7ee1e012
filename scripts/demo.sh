#!/usr/bin/env bash
# The main job: record from the built-in analyzer simulator.
#
# Starts analyzer-sim on a loopback address and opens the marlin window set up to record from it
# (press START; EXIT ends it, and the simulator with it), with marlin-view beside it showing the
# file as it is recorded. Without a display it records ten readings with marlin-cli instead and
# says where the file is.
#
#   MARLIN_DEMO_ADDRESS  loopback address for the simulator (default 127.0.0.1)
#   MARLIN_DEMO_DIR      where the settings and the trace file go (default build/demo)
#   MARLIN_BUILD_DIR     build folder (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${MARLIN_BUILD_DIR:-build}
bin=$builddir/bin
address=${MARLIN_DEMO_ADDRESS:-127.0.0.1}
work=${MARLIN_DEMO_DIR:-$builddir/demo}

case "$address" in
  127.*) ;;
  *) echo "demo.sh: MARLIN_DEMO_ADDRESS must be a loopback address (127.x.x.x), not '$address'" >&2; exit 2 ;;
esac
for program in analyzer-sim marlin-cli; do
  if [ ! -x "$bin/$program" ]; then
    echo "demo.sh: $bin/$program is missing; build first: bash scripts/build.sh" >&2
    exit 1
  fi
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
settings=$work/marlin.ini
tracefile=$work/demo.sft
simlog=$work/analyzer-sim.log

"$bin/analyzer-sim" --bind "$address" 2>"$simlog" &
sim=$!
stop_simulator() {
  if kill -0 "$sim" 2>/dev/null; then
    kill -TERM "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
}
trap stop_simulator EXIT

# The simulator says when it listens; give it five seconds.
for _ in $(seq 50); do
  grep -q "listening on" "$simlog" 2>/dev/null && break
  if ! kill -0 "$sim" 2>/dev/null; then
    echo "demo.sh: the simulator did not start:" >&2
    cat "$simlog" >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q "listening on" "$simlog"; then
  echo "demo.sh: the simulator did not report that it listens; see $simlog" >&2
  exit 1
fi
echo "Simulated analyzer: $(grep -m1 'listening on' "$simlog" | sed 's/^analyzer-sim: //')"

# The settings the recorder starts with: the simulator's address, trace 1 every 2 seconds
# (so the countdown bar shows), binary form.
cat >"$settings" <<INI
[ADDRESS]
VALUE=$address
[INTERVAL]
VALUE=2
[TRACES]
NUMBER=0
[FILEPATH]
VALUE=$tracefile
[FORMAT]
TYPE=Binary
[SEPARATOR]
TYPE=,
INI

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  if [ ! -x "$bin/marlin" ]; then
    echo "demo.sh: $bin/marlin is missing; build first: bash scripts/build.sh" >&2
    exit 1
  fi
  echo "Opening the recorder, set up for $address. Press START to record, STOP to stop, EXIT to end."
  echo "The trace file will be $tracefile"
  viewer=
  if [ -x "$bin/marlin-view" ]; then
    # The view waits for the file and follows it from the first reading on.
    "$bin/marlin-view" --position 330,0 "$tracefile" &
    viewer=$!
    echo "marlin-view beside it shows the spectrum and the waterfall as they are recorded."
  fi
  status=0
  "$bin/marlin" --settings "$settings" || status=$?
  if [ -n "$viewer" ]; then kill -TERM "$viewer" 2>/dev/null || true; fi
  exit $status
else
  echo "No display: recording ten readings with marlin-cli instead."
  "$bin/marlin-cli" record --settings "$settings" --address "$address" --trace 1 --interval 0.5 \
    --file "$tracefile" --format binary --readings 10 --overwrite
  echo "Ten readings recorded into $tracefile ($(stat -c %s "$tracefile") bytes)."
  if [ -x "$bin/marlin-view" ]; then
    "$bin/marlin-view" --screenshot "$work/demo.png" "$tracefile" 2>/dev/null &&
      echo "Their spectrum and waterfall, drawn by marlin-view: $work/demo.png"
  fi
  echo "Settings used: $settings"
fi
