#!/usr/bin/env bash
# Coverage-guided fuzzing of lessoncover with clang 16's libFuzzer, ASan and UBSan:
#
#   - fuzz/fuzz_api.py (atheris) drives the Python surface of both modules, built into
#     build/fuzz-site with libFuzzer coverage, so the fuzzer sees the C++ code's edges
#     and comparisons as well as the harness's Python branches, as two harnesses on the
#     same seeds:
#       api       short programs, each step checked for designed refusals, borrow errors
#                 and steady reference counts, the short objects' texts against the model
#                 once at the end; Python's own allocator, ASan keeping two frames of each
#                 allocation's stack, libFuzzer's plain schedule (-entropic=0): hundreds
#                 of programs a second;
#       api_deep  (--deep) longer programs with bulk operations of hundreds, every short
#                 object's text against the model after every step and the long ones at
#                 the end; every Python object through malloc for ASan, full stacks;
#   - fuzz/fuzz_command.py (atheris) drives the office command, lessoncover plan, in process
#     on folders of days written from each input, against the same build;
#   - fuzz/*_fuzzer.cpp drive the core without Python.
#
# Each runs for FUZZ_SECONDS (default 60; 0 builds only) on a scratch copy of its seed
# corpus in fuzz/corpus/<name>/ (api's for api_deep). Any crash, failed check or sanitizer report fails the
# run; the input that caused it is kept as build/fuzz-artifacts/<name>-crash-*. Prints
# executions per minute and libFuzzer's final coverage for each.
#
# Installs Debian's clang-16 and libclang-rt-16-dev when missing (the default clang is
# too old for <source_location>), and atheris from PyPI.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
fuzz_seconds=${FUZZ_SECONDS:-60}
build=$root/build/fuzz
site=$root/build/fuzz-site
artifacts=$root/build/fuzz-artifacts
harnesses=(debug_text_fuzzer planner_fuzzer day_fuzzer)

if ! command -v clang++-16 >/dev/null ||
   [[ ! -e "$(clang-16 -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)" ]]; then
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang-16 libclang-rt-16-dev
fi
python3 -c 'import atheris' 2>/dev/null || python3 -m pip install --quiet "atheris>=2.3"

# One build tree for both: pip builds and installs the modules into the site folder, and
# with LESSONCOVER_FUZZ the same CMake run builds the libFuzzer harnesses beside them.
rm -rf "$site"
CC=clang-16 CXX=clang++-16 python3 -m pip install --quiet --no-deps --target "$site" \
    -C cmake.define.LESSONCOVER_FUZZ=ON \
    -C cmake.build-type=RelWithDebInfo \
    -C build-dir="$build" \
    .

# ASan with libFuzzer linked in, for the interpreter to preload, as atheris makes it when
# built from source. The modules' coverage callbacks and atheris's own then reach one
# libFuzzer, whose strong definitions come first; preloaded apart, ASan's weak stubs
# would take them. atheris uses this libFuzzer instead of its own when it finds it loaded.
runtime_dir=$(dirname "$(clang-16 -print-file-name=libclang_rt.asan-x86_64.a)")
merged=$build/asan_with_fuzzer.so
# Without the .preinit_array entry, which only an executable may hold: ASan starts from
# its constructor instead.
cp "$runtime_dir/libclang_rt.asan-x86_64.a" "$build/asan_no_preinit.a"
ar d "$build/asan_no_preinit.a" asan_preinit.cpp.o
clang++-16 -shared -o "$merged" \
    -Wl,--whole-archive \
    "$runtime_dir/libclang_rt.fuzzer_no_main-x86_64.a" \
    "$build/asan_no_preinit.a" \
    "$runtime_dir/libclang_rt.asan_cxx-x86_64.a" \
    -Wl,--no-whole-archive -lpthread -ldl -lrt -lm

rm -rf "$artifacts"
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Leak checking is off for the interpreter, which keeps memory until exit by design.
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
summary=()

# Runs one fuzzer (the rest of the arguments) on a scratch copy of fuzz/corpus/$CORPUS
# (default $1) and reports its figures from libFuzzer's final lines.
run_fuzzer() {
    local name=$1
    shift
    local log=$work/$name.log
    cp -r "fuzz/corpus/${CORPUS:-$name}" "$work/$name"
    echo "fuzz_tests: $name for ${fuzz_seconds}s"
    local rc=0
    local started=$SECONDS
    "$@" "$work/$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/$name-" >"$log" 2>&1 || rc=$?
    local elapsed=$((SECONDS - started))
    local runs done_line
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    if [[ $rc -ne 0 || -z $runs ]]; then
        tail -n 60 "$log" >&2
        echo "fuzz_tests: $name failed ($rc); inputs kept in $artifacts" >&2
        status=1
        summary+=("$name: FAILED ($rc)")
        return
    fi
    local per_minute=$((runs * 60 / (elapsed > 0 ? elapsed : 1)))
    local cov ft
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
    summary+=("$name: $runs runs in ${elapsed}s ($per_minute per minute), cov: $cov ft: $ft")
    echo "fuzz_tests: ${summary[-1]}"
}

if [[ $fuzz_seconds -gt 0 ]]; then
    python=$(python3 -c 'import sys; print(sys.executable)')
    # The fast API harness: ASan still sees every C++ record, but not Python's objects in
    # pymalloc's arenas, and records two frames of each allocation's stack: storing deep
    # interpreter stacks for every allocation, and libFuzzer's entropic bookkeeping over
    # tens of thousands of features, took most of each short program. api_deep covers
    # what that leaves out; a crash of api replays there with full reports:
    #   python3 fuzz/fuzz_api.py --deep --replay FILE
    PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}" LD_PRELOAD="$merged" \
        ASAN_OPTIONS="$ASAN_OPTIONS:malloc_context_size=2" \
        LESSONCOVER_SANITIZED=1 LESSONCOVER_FUZZ_SITE="$site" \
        run_fuzzer api "$python" fuzz/fuzz_api.py -max_len=512 -entropic=0 -rss_limit_mb=8192 \
        -timeout=120
    # PYTHONMALLOC=malloc: every Python object through malloc, so ASan sees the modules'
    # objects as well as their C++ records. The interpreter itself, not a wrapper script,
    # gets the preload.
    PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}" LD_PRELOAD="$merged" PYTHONMALLOC=malloc \
        LESSONCOVER_SANITIZED=1 LESSONCOVER_FUZZ_SITE="$site" CORPUS=api \
        run_fuzzer api_deep "$python" fuzz/fuzz_api.py --deep -max_len=4096 -rss_limit_mb=8192 \
        -timeout=120
    PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}" LD_PRELOAD="$merged" PYTHONMALLOC=malloc \
        LESSONCOVER_SANITIZED=1 LESSONCOVER_FUZZ_SITE="$site" \
        run_fuzzer command "$python" fuzz/fuzz_command.py -max_len=16384 -rss_limit_mb=8192 -timeout=120
    for harness in "${harnesses[@]}"; do
        ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=1" \
            run_fuzzer "$harness" "$build/$harness" -max_len=8192 -timeout=30
    done
    echo "fuzz_tests: summary"
    printf '  %s\n' "${summary[@]}"
fi
exit "$status"
