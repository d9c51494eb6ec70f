#!/usr/bin/env bash
# Builds lessoncover with AddressSanitizer and UndefinedBehaviorSanitizer into
# build/asan-site (beside the normal install, never over it) and runs the whole pytest
# suite against that build. Any sanitizer report fails the run, also one written by a
# subprocess that a test started and whose exit status nobody checked. Then, unless
# FUZZ_SECONDS is 0, runs tools/fuzz_tests.sh: each fuzzer for FUZZ_SECONDS (default
# 60) against a clang build instrumented for it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
site=$root/build/asan-site
logs=$root/build/asan-logs
fuzz_seconds=${FUZZ_SECONDS:-60}

rm -rf "$site" "$logs"
mkdir -p "$logs"
python3 -m pip install --quiet --no-deps --target "$site" \
    -C cmake.define.LESSONCOVER_SANITIZE=ON \
    -C cmake.build-type=RelWithDebInfo \
    -C build-dir=build/asan \
    .

# The interpreter itself is not instrumented, so the runtimes must be loaded first.
# Both come from the compiler that built the module.
compiler=${CXX:-c++}
runtimes=""
for name in libasan.so libubsan.so; do
    path=$("$compiler" -print-file-name="$name")
    if [[ "$path" != /* || ! -e "$path" ]]; then
        echo "sanitizer_tests: $compiler has no $name" >&2
        exit 1
    fi
    runtimes+="${runtimes:+ }$path"
done

export PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}"
export LD_PRELOAD="$runtimes"
# Leak checking is off: the interpreter keeps memory until exit by design, and
# tests/test_leaks.py measures leaks of the module's own calls instead.
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:log_path=$logs/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$logs/ubsan"
# Every Python object through malloc, so ASan sees overruns and use after free of
# the module's objects as well as of its C++ records.
export PYTHONMALLOC=malloc
# Lets the tests scale their loops and skip RSS bounds that ASan's quarantine distorts.
export LESSONCOVER_SANITIZED=1

python3 - "$site" <<'EOF'
import sys, lessoncover
assert lessoncover.__file__.startswith(sys.argv[1]), lessoncover.__file__
EOF

report_sanitizer_logs() {
    shopt -s nullglob
    local found=0
    for log in "$logs"/*; do
        echo "=== sanitizer report $log" >&2
        cat "$log" >&2
        found=1
    done
    return "$found"
}

# Left to the normal run: building and installing a wheel, and mypy on the stubs. They
# test packaging and type stubs through pip, compilers and mypy in subprocesses, which
# would only run slower under the preloaded runtimes and never touch this build.
status=0
python3 -m pytest -p no:cacheprovider -q \
    --deselect tests/test_wheel.py --deselect tests/test_stubs.py::test_mypy || status=$?
report_sanitizer_logs || status=1
if [[ $status -ne 0 ]]; then
    echo "sanitizer_tests: pytest under ASan/UBSan failed ($status)" >&2
    exit "$status"
fi

echo "sanitizer_tests: no sanitizer report"

if [[ $fuzz_seconds -gt 0 ]]; then
    # gcc's runtimes must not be preloaded there: the fuzzers run on clang's.
    env -u LD_PRELOAD -u ASAN_OPTIONS -u UBSAN_OPTIONS -u PYTHONPATH -u PYTHONMALLOC \
        FUZZ_SECONDS="$fuzz_seconds" \
        bash tools/fuzz_tests.sh
fi
