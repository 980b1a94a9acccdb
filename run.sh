#!/usr/bin/env bash
# Installs what is missing, builds Release, lays out a run folder with the updater and a sample
# update file beside it, starts a simulated device on a private bus, and starts the updater.
# The simulated device stops when the updater ends.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh

export CCACHE_BASEDIR="$root"
export CCACHE_SLOPPINESS=time_macros
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target VN382UpdateProgram devsim mkupdate

if [ -z "${DISPLAY:-}" ]; then
    echo "No display: the updater needs an X server. Start it under a virtual one with:" >&2
    echo "    xvfb-run -a ./run.sh" >&2
    exit 1
fi

app=$(find build/App -type f -name VN382UpdateProgram -perm -u+x | head -n 1)
rundir="$root/run"
rm -rf "$rundir"
mkdir -p "$rundir"
cp "$app" build/platform/morvantx/libmorvantx.so* "$rundir/"
./build/tools/mkupdate/mkupdate --out "$rundir/vn382_v123.upd" --version 123 --size 262144

bus=$(mktemp -d "${TMPDIR:-/tmp}/vn382-bus.XXXXXX")
export MORVANTX_BUS="$bus"
# A reply delay of 10 ms per report lets the progress bar be seen moving (about 3 s).
./build/tools/devsim/devsim --bus "$bus" --type 0x11 --firmware 105 --delay 10 --save "$rundir/received.bin" >/dev/null &
devsim=$!
trap 'kill "$devsim" 2>/dev/null || true; wait "$devsim" 2>/dev/null || true; rm -rf "$bus"' EXIT

echo "Update file: $rundir/vn382_v123.upd (version 1.23); simulated device: firmware 1.05."
LD_LIBRARY_PATH="$rundir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$rundir/VN382UpdateProgram"
status=$?
if [ -f "$rundir/received.bin" ] && cmp -s "$rundir/received.bin" "$rundir/vn382_v123.upd"; then
    echo "The simulated device holds exactly the update file."
fi
exit $status
