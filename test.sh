#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite: the Release build, the sanitizer
# build, then each fuzz target for a bounded time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh

export CCACHE_BASEDIR="$root"
export CCACHE_SLOPPINESS=time_macros
jobs=$(nproc)
unset DISPLAY

build() # dir, cmake options...
{
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

echo "== Release build"
build build
echo "== Release suite"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== Sanitizer build (address, undefined)"
build build-asan -DUPDATER_SANITIZE=ON
echo "== Sanitizer suite"
# The end-to-end scripts drive the real program on a screen with time budgets made for the
# Release build; the sanitizers check the same code through the headless and integration tests.
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs" --timeout 900 -E '^e2e\.')

echo "== Fuzz build (clang, libFuzzer)"
build build-fuzz -DUPDATER_FUZZ=ON -DUPDATER_TESTS=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fuzz_seconds=${FUZZ_SECONDS:-30}
status=0
pids=()
# One run per source, so that a target left in the build folder by an older tree is not run.
for src in tests/fuzz/*.cpp; do
    name=fuzz_$(basename "$src" .cpp)
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds="tests/fuzz/seeds/${name#fuzz_}"
    [ -d "$seeds" ] || seeds=""
    ( cd build-fuzz && "./tests/fuzz/$name" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 \
          -artifact_prefix="$root/build-fuzz/$name-" "$root/$corpus" ${seeds:+"$root/$seeds"} \
          >"$root/build-fuzz/$name.log" 2>&1 ) &
    pids+=("$!:$name")
done
for entry in "${pids[@]}"; do
    pid=${entry%%:*}; name=${entry#*:}
    if wait "$pid"; then
        echo "fuzz $name: $(grep -Eo '#[0-9]+[[:space:]]+DONE.*' "build-fuzz/$name.log" | tail -1)"
    else
        echo "fuzz $name FAILED:"; tail -40 "build-fuzz/$name.log"; status=1
    fi
done
[ "$status" = 0 ] || exit 1

echo "All suites passed."
