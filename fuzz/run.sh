#!/usr/bin/env bash
# Runs the fuzz targets of the clang build (build-fuzz by default).
#
#   fuzz/run.sh TARGET [SECONDS] [-- LIBFUZZER_FLAGS...]
#       Fuzzes TARGET (doc, xls, formula, ...) for SECONDS (default 60) on
#       its committed seeds (fuzz/seeds/TARGET), plus the Apache POI
#       documents of up to 256 KB when ../shared/corpus/poi (or $VARNEL_POI)
#       is there. New inputs go to build-fuzz/corpus/TARGET, findings to
#       build-fuzz/findings/TARGET, the log to build-fuzz/logs/TARGET.log.
#   fuzz/run.sh --smoke [TARGET...]
#       Runs every target (or the ones named) once over its committed seeds
#       and nothing else; fails when a seed crashes, hangs or runs out of
#       memory. This is what `make fuzz-smoke` calls.
#   fuzz/run.sh --poi [TARGET...]
#       Runs every POI document of a target's kind once, whatever its size,
#       with 10 s per file instead of 1 s (the instrumented build reads a
#       few MB a second): every real file must end, within the memory limit.
#   fuzz/run.sh --list
#
# Every run fails an input that takes more than 1 s or 512 MB (-timeout=1,
# -rss_limit_mb=512, -malloc_limit_mb=512), stops at the first sanitizer
# report, and hides only the one libgsf leak listed in fuzz/lsan.supp.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${BUILD_DIR:-$root/build-fuzz}"
# The POI documents sit in shared/ beside the main checkout, two levels up
# from a worktree; never in the repository.
poi="${VARNEL_POI:-$root/../shared/corpus/poi}"
[ -d "$poi" ] || poi="$root/../../shared/corpus/poi"

limits=(-timeout=1 -rss_limit_mb=512 -malloc_limit_mb=512)
poi_max_kb=256

# AddressSanitizer keeps up to 256 MB of freed memory in quarantine, which
# counts against the 512 MB of a run; 64 MB keeps the limit about the
# reader's own memory.
asan_common="quarantine_size_mb=64:detect_leaks=1:allocator_may_return_null=0"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# The targets that reach libgsf (the compound-file readers under .doc,
# .xls and encrypted .docx) record whole stacks with the slow unwinder:
# glib and libgsf are built without frame pointers, so the fast one stops
# in g_malloc and the suppression of the libgsf leak could not name it.
# It costs those targets about half their speed. libgsf is opened on first
# use, so a target that reaches it holds the function's name as text (the
# compound file reader looks it up by name) rather than as a symbol.
asan_options() {
    if grep -q -a gsf_infile_msole_new "$build/bin/$1_fuzz" 2>/dev/null; then
        echo "${ASAN_OPTIONS:-$asan_common:fast_unwind_on_malloc=0}"
    else
        echo "${ASAN_OPTIONS:-$asan_common}"
    fi
}

targets() {
    local f
    for f in "$here"/*_fuzz.cpp; do
        f="$(basename "$f" .cpp)"
        echo "${f%_fuzz}"
    done
}

# The POI folders whose files a target can take as they are.
poi_dirs() {
    case "$1" in
        doc | docx) echo "$poi/document" ;;
        xls | xlsx) echo "$poi/spreadsheet" ;;
        cfb | zip | text) echo "$poi/document $poi/spreadsheet" ;;
        *) ;;
    esac
}

# A folder of links to the target's POI files of up to $poi_max_kb KB: the
# larger ones take more than the 1 s limit in the instrumented build (they
# are run by --poi instead), and they would make every mutation slow.
poi_view() {
    local view="$build/poi/$1" d f
    rm -rf "$view"
    mkdir -p "$view"
    for d in $(poi_dirs "$1"); do
        [ -d "$d" ] || continue
        while IFS= read -r -d '' f; do
            ln -s "$f" "$view/$(basename "$d")-$(basename "$f")"
        done < <(find "$d" -maxdepth 1 -type f -size -$((poi_max_kb + 1))k -print0)
    done
    if [ -n "$(ls -A "$view")" ]; then echo "$view"; fi
}

binary() {
    local bin="$build/bin/$1_fuzz"
    if [ ! -x "$bin" ]; then
        echo "run.sh: $bin is missing; build it with" >&2
        echo "  cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARNEL_BUILD_FUZZ=ON -DVARNEL_BUILD_GUI=OFF -DVARNEL_BUILD_TESTS=OFF" >&2
        echo "  cmake --build build-fuzz -j2 --target fuzz" >&2
        exit 2
    fi
    echo "$bin"
}

dict_args() {
    if [ -f "$here/$1.dict" ]; then echo "-dict=$here/$1.dict"; fi
}

smoke() {
    local list=("$@") failed=() t bin seeds log
    [ ${#list[@]} -gt 0 ] || mapfile -t list < <(targets)
    mkdir -p "$build/logs"
    for t in "${list[@]}"; do
        bin="$(binary "$t")"
        seeds="$here/seeds/$t"
        if [ ! -d "$seeds" ]; then
            echo "FAIL $t: no seeds in $seeds"
            failed+=("$t")
            continue
        fi
        log="$build/logs/$t-smoke.log"
        local start=$SECONDS
        # -runs=0 executes each seed once and stops; the artifacts of a
        # failing seed go beside the log.
        if (cd "$build/logs" && ASAN_OPTIONS="$(asan_options "$t")" "$bin" "${limits[@]}" -runs=0 -artifact_prefix="$build/logs/$t-" "$seeds" >"$log" 2>&1); then
            echo "ok   $t ($(find "$seeds" -type f | wc -l) seeds, $((SECONDS - start)) s)"
        else
            echo "FAIL $t: see $log"
            grep -E "ERROR|SUMMARY|Test unit written|timeout|out-of-memory" "$log" | head -5 | sed 's/^/     /'
            failed+=("$t")
        fi
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "fuzz smoke failed: ${failed[*]}"
        return 1
    fi
    echo "fuzz smoke passed"
}

poi_sweep() {
    local list=("$@") failed=() t bin d dirs log
    [ ${#list[@]} -gt 0 ] || list=(doc docx xls xlsx cfb zip text)
    mkdir -p "$build/logs"
    for t in "${list[@]}"; do
        bin="$(binary "$t")"
        dirs=()
        for d in $(poi_dirs "$t"); do [ -d "$d" ] && dirs+=("$d"); done
        [ ${#dirs[@]} -gt 0 ] || continue
        log="$build/logs/$t-poi.log"
        mkdir -p "$build/findings/$t"
        if ASAN_OPTIONS="$(asan_options "$t")" "$bin" -timeout=10 -rss_limit_mb=512 -malloc_limit_mb=512 -runs=0 -max_len=$((64 << 20)) \
            -print_final_stats=1 -artifact_prefix="$build/findings/$t/poi-" "${dirs[@]}" >"$log" 2>&1; then
            echo "ok   $t: $(grep -c . < <(find "${dirs[@]}" -maxdepth 1 -type f)) files; $(grep -o '^Done .*' "$log"), peak $(grep -o 'peak_rss_mb: *[0-9]*' "$log" | grep -o '[0-9]*$') MB"
        else
            echo "FAIL $t: see $log"
            grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -5 | sed 's/^/     /'
            failed+=("$t")
        fi
    done
    [ ${#failed[@]} -eq 0 ]
}

case "${1:-}" in
    "" | -h | --help)
        sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    --poi)
        shift
        poi_sweep "$@"
        exit $?
        ;;
    --list)
        targets
        exit 0
        ;;
    --smoke)
        shift
        smoke "$@"
        exit $?
        ;;
esac

target="$1"
shift
seconds=60
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    seconds="$1"
    shift
fi
[ "${1:-}" = "--" ] && shift
bin="$(binary "$target")"
corpus="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$corpus" "$findings" "$build/logs"
dirs=("$corpus" "$here/seeds/$target")
view="$(poi_view "$target")"
[ -n "$view" ] && dirs+=("$view")
log="$build/logs/$target.log"
echo "fuzzing $target for $seconds s over: ${dirs[*]}"
echo "log: $log"
set +e
# shellcheck disable=SC2046
ASAN_OPTIONS="$(asan_options "$target")" "$bin" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    $(dict_args "$target") "$@" "${dirs[@]}" 2>&1 | tee "$log" |
    grep -E --line-buffered "INITED|DONE|pulse|ERROR|SUMMARY|Test unit|stat::"
status=${PIPESTATUS[0]}
exit "$status"
