#!/usr/bin/env bash
# What many keywords cost: two varnel-find programs (for example one built
# from main and one from a branch) search the same folder of Word documents
# with 1, 50 and 256 keywords, run after run in turn, and the medians of the
# wall-clock times are printed with their ratio (before / after: above 1
# means faster now), the medians of the processor times (user + system)
# and the load of the machine before each case. The
# keywords are made here: the 50 are 25 common words and 25 made-up ones,
# the 256 are all made up (absent, so every one is searched for in every
# document). The results of both programs are compared too: a difference is
# reported. Reports only; nothing passes or fails on a time.
#
# Usage: keywordcount_compare.sh BEFORE AFTER FOLDER [RUNS]
#   FOLDER: documents to search (for example the .doc files of
#   ../shared/corpus/poi copied into one folder); RUNS: default 5.
set -eu
if [ $# -lt 3 ]; then
    echo "usage: $0 BEFORE AFTER FOLDER [RUNS]" >&2
    exit 2
fi
before=$1
after=$2
folder=$3
runs=${4:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
# Saved settings of neither program's user apply: every switch is its default.
export XDG_CONFIG_HOME="$work/config"

printf 'document\n' >"$work/k1"
{
    for w in the document table page word text section header footer picture file test date name number \
        list field style font paragraph Microsoft Apache report figure example; do
        echo "$w"
    done
} >"$work/k50"
# Made-up words: letters from a fixed pseudo-random sequence.
awk 'BEGIN { srand(17); for (i = 0; i < 256; i++) { n = 6 + int(rand() * 5); w = "";
     for (j = 0; j < n; j++) w = w sprintf("%c", 97 + int(rand() * 26)); print w } }' >"$work/absent"
head -n 25 "$work/absent" >>"$work/k50"
cp "$work/absent" "$work/k256"

median() {
    sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Prints "wall cpu" in seconds for one run, read to the millisecond by the
# shell's own clock (/usr/bin/time reads to the hundredth of a second, too
# coarse for runs of a few hundredths).
seconds() {
    # $1 program, $2 keyword file, $3 output file
    local TIMEFORMAT='%3R %3U %3S'
    { time "$1" --word -K "$2" "$folder" >"$3" 2>/dev/null; } 2>"$work/time" || true
    tail -n 1 "$work/time" | awk '{ printf "%s %.3f\n", $1, $2 + $3 }'
}

printf '%-8s %8s %8s %6s %9s %9s %6s   %s\n' keywords before after ratio cpu-bef cpu-aft ratio load
for k in 1 50 256; do
    load=$(uptime | sed 's/.*load average: //')
    : >"$work/tb"
    : >"$work/ta"
    i=0
    while [ "$i" -lt "$runs" ]; do
        seconds "$before" "$work/k$k" "$work/ob" >>"$work/tb"
        seconds "$after" "$work/k$k" "$work/oa" >>"$work/ta"
        i=$((i + 1))
    done
    tb=$(cut -d' ' -f1 "$work/tb" | median)
    ta=$(cut -d' ' -f1 "$work/ta" | median)
    cb=$(cut -d' ' -f2 "$work/tb" | median)
    ca=$(cut -d' ' -f2 "$work/ta" | median)
    ratio=$(echo "scale=2; $tb / $ta" | bc)
    cratio=$(echo "scale=2; $cb / $ca" | bc)
    printf '%-8s %8.3f %8.3f %6s %9.3f %9.3f %6s   %s\n' "$k" "$tb" "$ta" "$ratio" "$cb" "$ca" "$cratio" "$load"
    if ! cmp -s "$work/ob" "$work/oa"; then echo "  results differ for $k keywords" >&2; fi
done
