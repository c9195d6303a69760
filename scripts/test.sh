#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the sanitizer test configuration, replays the fuzz
# targets' seeds, starts private headless services (PulseAudio null sink, JACK dummy
# driver) and checks that they run, runs every test with CTest and stops exactly the
# processes it started. Exits non-zero on any failure.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZENTRIQ_TEST_BUILD_DIR:-$root/build-test}
jobs=${ZENTRIQ_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"

# Cache outside the clone, keyed relative to it, so a fresh clone elsewhere still hits.
export CCACHE_DIR=${CCACHE_DIR:-/var/cache/zentriq-ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
mkdir -p "$CCACHE_DIR"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZENTRIQ_SANITIZE=ON -DZENTRIQ_BUILD_TESTS=ON -DZENTRIQ_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

# Every fuzz target replays its seeds once, in its own clang tree, so a parser regression on
# a known input fails the run. Full runs do it; a filtered run only with ZENTRIQ_FUZZ_SEEDS=1.
if [[ $# -eq 0 || ${ZENTRIQ_FUZZ_SEEDS:-0} == 1 ]]; then
  if command -v clang++ >/dev/null; then
    "$root/fuzz/run.sh" all 0
  elif [[ -n ${CI:-} ]]; then
    echo "test.sh: clang++ is missing, so the fuzz seeds cannot be replayed" >&2
    exit 1
  else
    echo "test.sh: clang++ is missing; fuzz seeds not replayed" >&2
  fi
fi

run=$(mktemp -d /tmp/zentriq-test-run.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$run"
}
trap cleanup EXIT

# A service that did not come up fails the run here, with its log, instead of leaving the
# tests that need it to fail or skip one by one.
service_failed() {
  echo "test.sh: $1 did not start; its log:" >&2
  cat "$2" >&2
  exit 1
}

# Everything a test could write lands in the run folder, never in the user's home.
mkdir -p "$run"/{home,config,data,cache,runtime,pulse,downloads}
chmod 700 "$run/runtime"
export HOME=$run/home XDG_CONFIG_HOME=$run/config XDG_DATA_HOME=$run/data XDG_CACHE_HOME=$run/cache
export XDG_RUNTIME_DIR=$run/runtime PULSE_RUNTIME_PATH=$run/pulse
echo "XDG_DOWNLOAD_DIR=\"$run/downloads\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
export QT_QPA_PLATFORM=offscreen
# The silent update check after start goes to a closed local port, so it fails at once and
# quietly; tests of the update check point it at their own server.
export ZENTRIQ_UPDATE_URL=http://127.0.0.1:9/update.json

export PULSE_SERVER=unix:$run/pulse/native
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
  -L "module-native-protocol-unix socket=$run/pulse/native auth-anonymous=1" \
  -L "module-null-sink sink_name=nullsink rate=48000 channels=2" \
  -L "module-remap-source master=nullsink.monitor source_name=nullsource source_properties=device.description=NullMonitor" \
  -L module-always-sink >"$run/pulseaudio.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || service_failed PulseAudio "$run/pulseaudio.log"
pactl set-default-sink nullsink
# Qt Multimedia hides monitor sources; a remapped copy of the monitor is an ordinary input.
pactl set-default-source nullsource

# A uniquely named JACK server so parallel runs on one machine do not meet.
export JACK_DEFAULT_SERVER=zentriq-$$
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -d dummy -r 48000 -p 512 >"$run/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1 || service_failed jackd "$run/jackd.log"
# The JACK server is there for MIDI and for the tests that ask for it by name. Everything
# else plays on the null sink: RtAudio would otherwise pick the running JACK server, and a
# JACK client opened and closed by every window construction can stall the dummy server.
export ZENTRIQ_AUDIO_API=pulse

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The engines' hand-over between GUI and stream thread also runs under ThreadSanitizer,
# in a second tree that builds only the engine tests. Full runs do it; a filtered run
# (CTest arguments given) only with ZENTRIQ_TSAN=1.
if [[ -f $root/tests/engine/CMakeLists.txt && ( $# -eq 0 || ${ZENTRIQ_TSAN:-0} == 1 ) ]]; then
  tsan=${ZENTRIQ_TSAN_BUILD_DIR:-$root/build-tsan}
  cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZENTRIQ_TSAN=ON -DZENTRIQ_BUILD_TESTS=ON -DZENTRIQ_BUILD_BENCH=OFF >/dev/null
  cmake --build "$tsan" -j "$jobs" --target engine_tests
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/sanitizers/tsan.supp" \
    "$tsan/tests/engine/engine_tests" --gtest_filter='Engine*:MultiTrack*:SingleTrack*:SampleRing*'
fi

# Last, so its summary closes the output. Extra arguments go to CTest, e.g. `-R Wav` or `--repeat until-fail:5`.
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 900 "$@"
