#!/usr/bin/env bash
# Runs each Python fuzz target (atheris, on the installed pyquarn) for FUZZ_SECONDS (default
# 300) over its seeds and those of the matching C++ target: new inputs go to
# <FUZZ_WORK>/<target> (FUZZ_WORK defaults to build/fuzz/python), crashes, hangs and
# over-allocations to build/fuzz/artifacts/python/<target>/.
#   tests/fuzz/python/run_fuzzers.sh [target...]
# (targets: binary_open ascii_open; both by default). PYTHON names the interpreter (the
# Makefile passes .venv's); extra libFuzzer flags can be given in FUZZ_FLAGS (-seed=1 makes a
# run repeatable, -runs=N stops after N executions). An uncaught exception is a finding;
# atheris cannot hook malloc, so -rss_limit_mb is what catches an over-allocation.
set -euo pipefail
cd "$(dirname "$0")/../../.."

seconds=${FUZZ_SECONDS:-300}
work_root=${FUZZ_WORK:-build/fuzz/python}
python=${PYTHON:-.venv/bin/python}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(binary_open ascii_open)

# The C++ target whose seeds and dictionary each one shares.
declare -A cpp=([binary_open]=binary_read [ascii_open]=ascii_convert)
declare -A max_len=([binary_open]=16384 [ascii_open]=16384)

failed=()
for target in "${targets[@]}"; do
    work=$work_root/$target
    artifacts=build/fuzz/artifacts/python/$target
    mkdir -p "$work" "$artifacts"
    echo "== fuzzing $target (Python) for ${seconds}s"
    # shellcheck disable=SC2086
    "$python" tests/fuzz/python/"$target".py "$work" tests/fuzz/python/corpus/"$target" \
        tests/fuzz/corpus/"${cpp[$target]}" -dict=tests/fuzz/"${cpp[$target]}".dict \
        -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
        -rss_limit_mb=512 -report_slow_units=5 -artifact_prefix="$artifacts"/ \
        -print_final_stats=1 ${FUZZ_FLAGS:-} || failed+=("$target")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found failures in: ${failed[*]} (inputs in build/fuzz/artifacts/python/)" >&2
    exit 1
fi
