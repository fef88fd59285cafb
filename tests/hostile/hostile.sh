#!/usr/bin/env bash
# Crafted inputs, faults and command lines a hostile or careless user could give mphost.
# For each: no signal, no hang, the expected exit status with a message naming what is
# wrong, and every file that existed before byte-identical afterwards, with no temporary
# file left beside it.
#   tests/hostile/hostile.sh <mphost> <bundle folder>
set -u
mphost=$(realpath "$1")
bundles=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0
failed=0

# Files that must survive every case unchanged.
printf 'old render\n' > old.wav
printf 'old picture\n' > old.png
mkdir -p out
printf 'previous sound\n' > out/saved.wav
guarded=(old.wav old.png out/saved.wav)
for file in "${guarded[@]}"; do cp "$file" "$file.expected"; done

# check <name> <expected status> <message> <command...>
# Expected status: a number, or "fail" for any status from 1 to 125.
check() {
    local name=$1 expected=$2 message=$3
    shift 3
    local output status
    output=$(timeout 30 "$@" 2>&1)
    status=$?
    local problem=""
    if [ "$status" -eq 124 ]; then
        problem="hung (timed out)"
    elif [ "$expected" = fail ] && { [ "$status" -lt 1 ] || [ "$status" -gt 125 ]; }; then
        problem="exit status $status, expected a failure (1 to 125)"
    elif [ "$expected" != fail ] && [ "$status" -ne "$expected" ]; then
        problem="exit status $status, expected $expected"
    elif [[ "$output" != *"$message"* ]]; then
        problem="no message \"$message\""
    fi
    for file in "${guarded[@]}"; do
        cmp -s "$file" "$file.expected" || { problem="$problem; $file was changed"; cp "$file.expected" "$file"; }
    done
    local left
    left=$(find . -name '.*.??????' | head -1)
    [ -n "$left" ] && problem="$problem; temporary file $left left behind" && find . -name '.*.??????' -delete
    if [ -n "$problem" ]; then
        echo "FAIL $name: $problem"
        echo "$output" | head -5 | sed 's/^/    /'
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
}

gain='{"name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc"}'
editor='{"name": "ed", "bundle": "shape_modules", "id": "KV_ShapeEditor4", "rect": [0, 0, 100, 80]}'
render=("$mphost" render --bundles "$bundles")

# --- Crashes and hangs: nesting, huge and special files -------------------------------
python3 -c "n=100000;open('deep.json','w').write('{\"seconds\":0.1,\"modules\":'+'['*n+']'*n+'}')"
check "patch nested 100000 deep" 1 "deep.json: \$.modules" "${render[@]}" deep.json -o old.wav
python3 -c "n=100000;open('deepobj.json','w').write('{\"seconds\":0.1,\"modules\":[{\"name\":'+'{\"a\":'*n+'0'+'}'*n+'}]}')"
check "objects nested 100000 deep" 1 "nested deeper than" "${render[@]}" deepobj.json -o old.wav
mkdir -p deepbundle && cp "$bundles/shape_modules.so" deepbundle/shape_modules.so
python3 -c "n=100000;open('deepbundle/shape_modules.json','w').write('{\"bundle\":\"x\",\"modules\":'+'['*n+']'*n+'}')"
cat > usesdeep.json <<JSON
{"seconds": 0.1, "modules": [{"name": "osc", "bundle": "deepbundle/shape_modules.so", "id": "KV_ShapeOsc"}], "outputs": ["osc.Out"]}
JSON
check "descriptions nested 100000 deep" 1 "deepbundle/shape_modules.json" "${render[@]}" usesdeep.json -o old.wav
check "patch that is /dev/zero" 1 "'/dev/zero': it is a device" "${render[@]}" /dev/zero -o old.wav
truncate -s 2G sparse.json
check "2 GB sparse patch" 1 "'sparse.json': it is 2147483648 bytes" "${render[@]}" sparse.json -o old.wav
rm -f sparse.json
mkfifo fifo.json
check "FIFO as the patch" 1 "'fifo.json': it is a FIFO" "${render[@]}" fifo.json -o old.wav
mkdir -p folderbundle/shape_modules.json && cp "$bundles/shape_modules.so" folderbundle/
sed 's#deepbundle#folderbundle#' usesdeep.json > usesfolder.json
check "descriptions that are a folder" 1 "shape_modules.json': it is a folder" "${render[@]}" usesfolder.json -o old.wav
echo "{\"seconds\": 0.1, \"modules\": [{\"name\": \"a\", \"bundle\": \"/dev/null\", \"id\": \"X\"}]}" > devbundle.json
check "bundle that is a device" 1 "/dev/null is a device" "${render[@]}" devbundle.json -o old.wav
echo "{\"seconds\": 0.1, \"modules\": [{\"name\": \"a\", \"bundle\": \"folderbundle/\", \"id\": \"X\"}]}" > dirbundle.json
check "bundle that is a folder" 1 "is a folder" "${render[@]}" dirbundle.json -o old.wav

# --- Existing files kept when a write fails -------------------------------------------
cat > snap.json <<JSON
{"seconds": 0.1, "modules": [$gain, $editor], "outputs": ["osc.Out"],
 "snapshots": [{"time": 0.05, "file": "nofolder/x.png"}]}
JSON
check "snapshot into a missing folder" 1 "the folder 'nofolder' does not exist" "${render[@]}" snap.json -o old.wav
python3 -c "
import json; json.dump({'seconds': 0.01, 'modules': [json.loads('$gain')], 'outputs': ['osc.Out'] * 1025}, open('many.json', 'w'))"
check "1025 outputs" 1 "at most 1024 outputs" "${render[@]}" many.json -o old.wav
cat > long.json <<JSON
{"seconds": 600, "modules": [$gain], "outputs": ["osc.Out"]}
JSON
check "disk full while rendering" 1 "cannot write 'old.wav'" bash -c "ulimit -f 200; \"\$0\" render --bundles \"\$1\" long.json -o old.wav" "$mphost" "$bundles"
cat > panel.json <<JSON
{"seconds": 0.01, "modules": [{"name": "ed", "bundle": "shape_modules", "id": "KV_ShapeEditor4", "rect": [0, 0, 400, 300]}]}
JSON
check "disk full writing the panel" 1 "old.png" bash -c "ulimit -f 1; \"\$0\" render --bundles \"\$1\" panel.json --png old.png" "$mphost" "$bundles"
# An interrupted render ends by its signal, keeps the previous WAV and leaves no temporary.
for signal in TERM HUP; do
    "$mphost" render --bundles "$bundles" long.json -o old.wav > interrupted.txt 2>&1 &
    pid=$!
    sleep 0.5
    kill -s "$signal" "$pid"
    { wait "$pid"; } 2>/dev/null
    status=$?
    check "SIG$signal during a render" 0 "interrupted; the WAV file" sh -c "cat interrupted.txt; [ $status -gt 128 ]"
done
echo "{\"seconds\": 0.1, \"modules\": [$gain, $editor], \"outputs\": [\"osc.Out\"]}" > self.json
cp self.json self.json.expected && guarded+=(self.json)
check "output that is the patch" 1 "is the patch file itself" "${render[@]}" self.json -o self.json
check "panel picture that is the patch" 1 "is the patch file itself" "${render[@]}" self.json -o x.wav --png ./self.json
cat > self2.json <<JSON
{"seconds": 0.1, "modules": [$gain, $editor], "outputs": ["osc.Out"], "snapshots": [{"time": 0.05, "file": "self2.json"}]}
JSON
cp self2.json self2.json.expected && guarded+=(self2.json)
check "snapshot that is the patch" 1 "is the patch file itself" "${render[@]}" self2.json -o old.wav
check "WAV that is the panel picture" 1 "is also the WAV file" "${render[@]}" -o old.png --png old.png

# The sample saver: a full disk keeps the previous file and says so.
python3 - <<'PY'
import struct, wave
with wave.open('source.wav', 'wb') as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)
    w.writeframes(b'\x01\x02' * 48000)
PY
cat > saver.json <<JSON
{"seconds": 0.05, "modules": [
  {"name": "load", "bundle": "sample_modules", "id": "KV_WavSampleLoaderDSP", "values": {"FName": "source.wav"}},
  {"name": "save", "bundle": "sample_modules", "id": "KV_WavSampleSaverDSP", "values": {"Rate": 48000}}],
 "connections": ["load.Left -> save.Left"],
 "script": [{"time": 0.01, "set": "load.Trigger", "value": true},
            {"time": 0.02, "set": "save.FName", "value": "out/saved.wav"},
            {"time": 0.03, "set": "save.Trigger", "value": true}]}
JSON
check "sample saver on a full disk" 0 "couldn't save file to out/saved.wav: File too large" bash -c "ulimit -f 20; \"\$0\" render --bundles \"\$1\" saver.json" "$mphost" "$bundles"

# The string and shape savers: a write that fails part way keeps the previous file (and a
# successful one replaces it whole).
printf 'previous text\n' > out/text.txt && cp out/text.txt out/text.txt.expected && guarded+=(out/text.txt)
printf 'previous shape\n' > out/shape.txt && cp out/shape.txt out/shape.txt.expected && guarded+=(out/shape.txt)
long_text=$(head -c 3000 /dev/zero | tr '\0' 'x')
cat > textsaver.json <<JSON
{"seconds": 0.02, "modules": [
  {"name": "text", "bundle": "ui_modules", "id": "StringSaver", "values": {"String": "$long_text", "AutoTrig": true}},
  {"name": "shape", "bundle": "shape_modules", "id": "KV_ShapeSaver",
   "values": {"Shape": "(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)", "AutoTrig": true}}],
 "script": [{"time": 0.01, "set": "text.FNameL", "value": "out/text.txt"},
            {"time": 0.01, "set": "shape.FNameL", "value": "out/shape.txt"}]}
JSON
check "string and shape savers on a full disk" 0 "" bash -c "ulimit -f 0; \"\$0\" render --bundles \"\$1\" textsaver.json" "$mphost" "$bundles"
"$mphost" render --bundles "$bundles" textsaver.json > /dev/null 2>&1
if [ "$(cat out/text.txt)" != "$long_text" ] || ! grep -q '(5' out/shape.txt; then
    echo "FAIL string and shape savers: the files were not replaced when the disk had room"
    failed=$((failed + 1))
fi
cp out/text.txt out/text.txt.expected
cp out/shape.txt out/shape.txt.expected

# --- The sample loader: headers checked first -----------------------------------------
loader() {
    cat > "$1.json" <<JSON
{"seconds": 0.02, "modules": [{"name": "load", "bundle": "sample_modules", "id": "KV_WavSampleLoaderDSP",
  "values": {"FName": "$1"}}], "script": [{"time": 0.01, "set": "load.Trigger", "value": true}]}
JSON
}
python3 - <<'PY'
import struct
def wav(rate, data_size, payload=b'\0\0\0\0'):
    fmt = struct.pack('<HHIIHH', 1, 1, rate, rate * 2, 2, 16)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', data_size) + payload
    return b'RIFF' + struct.pack('<I', len(body)) + body
open('huge80.wav', 'wb').write(wav(48000, 0x80000000))
open('hugeff.wav', 'wb').write(wav(48000, 0xFFFFFFFF))
open('zerohz.wav', 'wb').write(wav(0, 4))
PY
for file in huge80.wav hugeff.wav; do
    loader "$file"
    check "WAV data size beyond the signed range ($file)" 0 "shorter than its data chunk announces" "${render[@]}" "$file.json"
done
loader zerohz.wav
check "WAV at 0 Hz" 0 "sample rate of 0" "${render[@]}" zerohz.wav.json
truncate -s 2100M sparse.wav
loader sparse.wav
# The address-space limit proves no buffer for the whole file is made; the address
# sanitizer's shadow memory needs more than that limit, so its builds go without it.
if [ "${MP_SANITIZED:-0}" = 1 ]; then address_limit=unlimited; else address_limit=1500000; fi
check "2.1 GB sparse WAV read only as far as its header" 0 "Audio File Type: Error" bash -c "ulimit -v $address_limit; \"\$0\" render --bundles \"\$1\" sparse.wav.json" "$mphost" "$bundles"
rm -f sparse.wav
mkfifo fifo.wav
loader fifo.wav
check "FIFO as a sample" 0 "'fifo.wav': it is a FIFO, not a regular file" "${render[@]}" fifo.wav.json

# --- Clear errors and usage -----------------------------------------------------------
check "unknown command" 2 "unknown command 'frobnicate'" "$mphost" frobnicate
check "validate a missing bundle" 2 "'/nonexist.so' does not exist" "$mphost" validate /nonexist.so
check "list a folder" 1 "is a folder, not a regular file" "$mphost" list ./folderbundle
check "list a device" 1 "is a device, not a regular file" "$mphost" list /dev/null
check "list a missing bundle name" 1 "no bundle \"nosuch\"" "$mphost" list nosuch
check "--seconds nan" 2 "--seconds" "$mphost" render --seconds nan -o old.wav
check "--seconds inf" 2 "--seconds" "$mphost" render --seconds inf -o old.wav
check "--seconds 1e-6 (under one sample)" 2 "at least one sample" "$mphost" render --seconds 1e-6 -o old.wav
check "--rate 44100.5" 2 "--rate" "$mphost" render --rate 44100.5 -o old.wav
check "--rate nan" 2 "--rate" "$mphost" render --rate nan -o old.wav
check "--block 0" 2 "--block" "$mphost" render --block 0 -o old.wav
check "--bundles missing folder" 2 "'/nonexistent' does not exist" "$mphost" render --bundles /nonexistent -o old.wav
check "describe --bundles missing folder" 2 "does not exist" "$mphost" describe --bundles /nonexistent x y
echo '{"seconds": 0.1, "seconds": 0.2, "modules": []}' > dupkeys.json
check "duplicate keys" 1 "\$.seconds: member given twice" "${render[@]}" dupkeys.json -o old.wav
cat > badenum.json <<JSON
{"seconds": 0.1, "modules": [{"name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": {"FreqMode": 7}}],
 "outputs": ["osc.Out"]}
JSON
check "enumeration value out of its list" 1 "\$.modules[0].values.FreqMode: expected a value of the choices" "${render[@]}" badenum.json -o old.wav
cat > nogui.json <<JSON
{"seconds": 0.1, "modules": [$gain], "outputs": ["osc.Out"], "snapshots": [{"time": 0.05, "file": "old.png"}]}
JSON
check "snapshots without GUI modules" 1 "\$.snapshots: expected a GUI module" "${render[@]}" nogui.json -o old.wav
cat > noguipng.json <<JSON
{"seconds": 0.1, "modules": [$gain], "outputs": ["osc.Out"]}
JSON
check "--png without GUI modules" 1 "no GUI module" "${render[@]}" noguipng.json -o old.wav --png old.png

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
