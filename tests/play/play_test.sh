#!/usr/bin/env bash
# mphost play from the outside: run as `play_test.sh CHECK MPHOST SOURCE_DIR WORK_DIR`.
#   window     under Xvfb (started here, on a display number it picks itself) with SDL's
#              dummy audio driver: the shape-editor example with scripted drags injected
#              as window-system pointer events, recorded, is sample for sample the offline
#              render of the same patch; the window's screenshot is a PNG of the window's size
#   missing    no display, or no audio device: a clear error naming it, exit status 1
#   headless   the null device on the wall clock: a recording, stopped by SIGINT, is a
#              complete WAV of the offline render's samples; the status line once a second;
#              no allocation on the audio thread
# Exit 77 (skipped) when Xvfb is not installed.
set -euo pipefail
check=$1 mphost=$2 source=$3 work=$4
# In sanitized builds: what SDL's and the X libraries' allocations leave at exit is theirs.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(readlink -f "$0")")/leak_suppressions.txt"
rm -rf "$work" && mkdir -p "$work" && cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The shape-editor example for 3 s with two drags whose points are whole pixels (pointer
# events of the window system carry whole pixels), and no snapshots.
python3 - "$source/examples/shape-editor.json" patch.json <<'PY'
import json, sys
patch = json.load(open(sys.argv[1]))
patch["seconds"] = 3
patch.pop("snapshots", None)
patch["script"] = [
    {"time": 0.5, "drag": "editor", "from": [200, 150], "to": [220, 60], "duration": 0.2, "steps": 10},
    {"time": 1.6, "drag": "editor", "from": [320, 60], "to": [300, 240], "duration": 0.4, "steps": 20},
]
json.dump(patch, open(sys.argv[2], "w"), indent=1)
PY

# Sample-for-sample equality of the common length of two 32-bit float WAV files, which
# must cover `seconds`; prints the number of samples compared.
compare_wavs() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
def samples(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", path + ": not a WAV file"
    at, fmt = 12, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if kind == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[at + 8:at + 24])
        if kind == b"data":
            assert fmt and fmt[0] in (3, 0xFFFE) and fmt[5] == 32, path + ": not 32-bit float"
            assert at + 8 + size <= len(data), path + ": data chunk runs past the end"
            body = data[at + 8:at + 8 + size]
            return fmt[1], struct.unpack("<%df" % (len(body) // 4), body)
        at += 8 + size + (size & 1)
    raise SystemExit(path + ": no data chunk")
(c1, a), (c2, b) = samples(sys.argv[1]), samples(sys.argv[2])
assert c1 == c2, "channel counts differ: %d, %d" % (c1, c2)
n = min(len(a), len(b))
assert n >= float(sys.argv[3]) * 48000 * c1, "only %d samples to compare" % n
for i in range(n):
    if a[i] != b[i]:
        raise SystemExit("sample %d differs: %r live, %r offline" % (i, a[i], b[i]))
print("compared", n, "samples")
PY
}

start_xvfb() {
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>display 2>xvfb.log &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -s display ] && break; sleep 0.1; done
  [ -s display ] || fail "Xvfb did not start: $(cat xvfb.log)"
  export DISPLAY=":$(head -n1 display)"
}

case "$check" in
window)
  start_xvfb
  "$mphost" render patch.json -o offline.wav --quiet
  # The window loads the system's graphics driver, whose allocations outlive it in a
  # library unloaded before the leak report (no name to suppress): no leak check here.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  SDL_AUDIODRIVER=dummy "$mphost" play patch.json --run-script --quit-after 3.1 --record live.wav \
    --screenshot window.png --block 64 >play.log 2>&1 || fail "play: $(cat play.log)"
  cat play.log
  # Sanitized builds run several times slower: the scripted input may then reach the DSP
  # side after its block, so only the unsanitized build compares the samples.
  if [ "${MP_PLAY_EXACT_TIMING:-1}" = 1 ]; then
    grep -q "late input 0," play.log || fail "scripted input reached the DSP side late"
    compare_wavs live.wav offline.wav 3 || fail "the live recording differs from the offline render"
  fi
  python3 - window.png <<'PY' || fail "the screenshot is not a PNG of the window"
import struct, sys
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n"
width, height = struct.unpack(">II", data[16:24])
assert (width, height) == (520, 322), (width, height)
PY
  ;;
missing)
  # No display at all.
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY "$mphost" play patch.json >out.log 2>err.log
  status=$?
  set -e
  [ $status -eq 1 ] || fail "exit status $status without a display"
  grep -q "no display" err.log || fail "the error does not name the display: $(cat err.log)"
  # A display but no audio device.
  start_xvfb
  set +e
  SDL_AUDIODRIVER=none-such "$mphost" play patch.json >out.log 2>err.log
  status=$?
  set -e
  [ $status -eq 1 ] || fail "exit status $status without an audio device"
  grep -q "no audio device" err.log || fail "the error does not name the audio device: $(cat err.log)"
  cat err.log
  ;;
headless)
  # Job control on: a background job of a script would otherwise ignore SIGINT.
  set -m
  "$mphost" play patch.json --headless --run-script --record stopped.wav --stats >play.log 2>&1 &
  player=$!
  sleep 2.5
  kill -INT $player
  set +e
  wait $player
  status=$?
  set -e
  cat play.log
  [ $status -eq 130 ] || fail "exit status $status after SIGINT"
  grep -q "^played .* s: xruns .*, audio-thread allocations " play.log || fail "no summary line"
  # The drags send the editor's text to its DSP half; the texts fit the pin's room.
  grep -q "audio-thread allocations 0," play.log || fail "the audio thread allocated"
  grep -q "^load .* %.*xruns .*48000 Hz   block 64" play.log || fail "no status line"
  # What was recorded until the signal: a WAV whose header covers the whole file, the same
  # samples as the offline render.
  python3 - stopped.wav <<'PY' || fail "the recording is not a complete WAV"
import os, struct, sys
data = open(sys.argv[1], "rb").read()
assert struct.unpack("<I", data[4:8])[0] == len(data) - 8, "RIFF size"
assert data[36:40] == b"data" and struct.unpack("<I", data[40:44])[0] == len(data) - 44, "data size"
PY
  "$mphost" render patch.json -o offline.wav --quiet
  compare_wavs stopped.wav offline.wav 1.5 || fail "the recording differs from the offline render"
  ;;
*)
  fail "unknown check $check"
  ;;
esac
echo "play $check: passed"
