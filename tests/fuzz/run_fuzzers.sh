#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build/fuzz and runs each for
# FUZZ_SECONDS (default 300) over its seed corpus: new inputs go to <FUZZ_WORK>/<target>
# (FUZZ_WORK defaults to build/fuzz/corpus), crashes, hangs and over-allocations to
# build/fuzz/artifacts/<target>/.
#   tests/fuzz/run_fuzzers.sh [target...]
# (targets: binary_read binary_to_ascii ascii_convert codecs gcode_reader binarizer; all by
# default). CMAKE, NINJA and JOBS name the tools (the Makefile passes those of .venv); extra
# libFuzzer flags can be given in FUZZ_FLAGS (-seed=1 makes a run repeatable, -runs=N stops
# after N executions).
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-300}
work_root=${FUZZ_WORK:-build/fuzz/corpus}
cmake=${CMAKE:-.venv/bin/cmake}
ninja=${NINJA:-$PWD/.venv/bin/ninja}
jobs=${JOBS:-2}
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
    targets=(binary_read binary_to_ascii ascii_convert codecs gcode_reader binarizer)

# Inputs big enough to hold several blocks or a few hundred lines.
declare -A max_len=([binary_read]=65536 [binary_to_ascii]=65536 [ascii_convert]=16384
    [codecs]=16384 [gcode_reader]=8192 [binarizer]=8192)
# Seed directories under tests/fuzz/corpus: the binary targets share theirs.
declare -A seeds=([binary_to_ascii]=binary_read)

# clang with the libFuzzer runtime, installed from Debian when missing.
probe() {
    local out
    out=$(mktemp)
    printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
        clang++ -x c++ -fsanitize=fuzzer - -o "$out" 2>/dev/null
    local ok=$?
    rm -f "$out"
    return $ok
}
if ! probe; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: clang with libFuzzer is missing (install clang and libclang-rt-dev)" >&2
        exit 1
    fi
    echo "installing clang and the libFuzzer runtime"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        clang libclang-rt-dev >/dev/null
fi

"$cmake" -S . -B build/fuzz -G Ninja -DCMAKE_MAKE_PROGRAM="$ninja" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARN_FUZZ=ON -DQUARN_TESTS=OFF -DQUARN_PYTHON=OFF >/dev/null
"$cmake" --build build/fuzz -j "$jobs"

failed=()
# A small quarantine, so that the RSS limit measures what the library holds.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
for target in "${targets[@]}"; do
    work=$work_root/$target
    artifacts=build/fuzz/artifacts/$target
    mkdir -p "$work" "$artifacts"
    seed_dir=tests/fuzz/corpus/${seeds[$target]:-$target}
    dict_file=tests/fuzz/${seeds[$target]:-$target}.dict
    dict=()
    [ -f "$dict_file" ] && dict=(-dict="$dict_file")
    echo "== fuzzing $target for ${seconds}s"
    # shellcheck disable=SC2086
    build/fuzz/tests/fuzz/"$target"_fuzz "$work" "$seed_dir" \
        -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=5 \
        -rss_limit_mb=512 -malloc_limit_mb=256 -report_slow_units=2 \
        -artifact_prefix="$artifacts"/ -print_final_stats=1 "${dict[@]}" ${FUZZ_FLAGS:-} ||
        failed+=("$target")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found failures in: ${failed[*]} (inputs in build/fuzz/artifacts/)" >&2
    exit 1
fi
