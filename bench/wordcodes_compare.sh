#!/bin/sh
# Runs two builds of bench_wordcodes side by side, case after case, on the
# same text file, and prints both times (wall clock and processor), their
# ratios (before / after: above 1 means faster now) and the machine load
# before each pair, so that a busy machine shows in the figures instead of
# in the conclusion. Reports only; nothing passes or fails on a time.
#
# Usage: wordcodes_compare.sh BEFORE AFTER [--reps N] CASE...
#   BEFORE, AFTER: two bench_wordcodes programs (for example one built from
#   the previous commit). CASE: see bench/wordcodes_bench.cpp.
set -eu
if [ $# -lt 3 ]; then
    echo "usage: $0 BEFORE AFTER [--reps N] CASE..." >&2
    exit 2
fi
before=$1
after=$2
shift 2
reps=1
if [ "$1" = "--reps" ]; then
    reps=$2
    shift 2
fi
# Both programs write the same text to this file before they use it.
file=/tmp/varnel_wordcodes_compare_$$.txt
trap 'rm -f "$file"' EXIT INT TERM

field() {
    echo "$1" | awk -v n="$2" '{ print $n }'
}
ratio() {
    awk -v b="$1" -v a="$2" 'BEGIN { if (a > 0) printf "%.2fx", b / a; else print "-" }'
}
printf '%-14s %10s %10s %7s  %10s %10s %7s  %s\n' case 'wall bef' 'wall aft' ratio 'cpu bef' 'cpu aft' ratio \
    'found bef/aft; load 1/5/15 min'
for c in "$@"; do
    load=$(uptime | sed 's/.*load average: //')
    b=$("$before" --reps "$reps" --file "$file" "$c")
    a=$("$after" --reps "$reps" --file "$file" "$c")
    bw=$(field "$b" 2) bc=$(field "$b" 5) bf=$(field "$b" 9)
    aw=$(field "$a" 2) ac=$(field "$a" 5) af=$(field "$a" 9)
    printf '%-14s %9.3fs %9.3fs %7s  %9.3fs %9.3fs %7s  %s/%s; %s\n' "$c" "$bw" "$aw" "$(ratio "$bw" "$aw")" \
        "$bc" "$ac" "$(ratio "$bc" "$ac")" "$bf" "$af" "$load"
done
