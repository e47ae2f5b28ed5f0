#!/usr/bin/env bash
# Times varnel-find with one thread (-j 1, the plain search) and with two
# (-j 2, the next files read ahead on a second core) over one folder of
# Word documents, beside ripgrep's raw byte scan of the same files with the
# same keywords (rg -a -l -i -F -f: no document is decoded, so it is the
# floor a search can approach, not a peer that finds the same things).
# The commands run round-robin, so that a change of load hits them alike;
# each figure is the median of the repetitions. "cores" is processor time
# (user + system) over wall time: how many cores the run kept busy.
# Reports only; nothing passes or fails on a time.
#
# Usage: threads_compare.sh VARNEL_FIND FOLDER [--reps N] [--before OLD_VARNEL_FIND]
#   FOLDER: the documents (not part of the project: assemble it from the
#   .doc files of ../shared/corpus/poi and tests/data, see below).
#   OLD_VARNEL_FIND: a build of an earlier commit, timed as a fourth command.
#
# A corpus like the one measured in the issue (with -iname '*.doc' instead,
# the binary .doc files alone, without the .docx ones):
#   mkdir /tmp/doccorpus && find ../shared/corpus/poi tests/data -type f -iname '*.doc*' \
#       -exec cp -n {} /tmp/doccorpus/ \;
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 VARNEL_FIND FOLDER [--reps N] [--before OLD_VARNEL_FIND]" >&2
    exit 2
fi
find_bin=$1
folder=$2
shift 2
reps=5
before=
while [ $# -gt 0 ]; do
    case $1 in
    --reps) reps=$2; shift 2 ;;
    --before) before=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d /tmp/varnel_threads_compare.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM
# No saved settings of the person running it: the defaults apply.
export XDG_CONFIG_HOME="$work/config"

# 1 keyword that occurs; 50 common words, most of which occur somewhere;
# 256 that occur nowhere.
echo "the" >"$work/k1"
for w in report table figure year total page section budget meeting letter \
    sales march april company office world water house school price \
    quarterly northern region ready draft summary review market customer product \
    account balance invoice payment order number date name address phone \
    alpha beta gamma delta header footer note comment picture chapter; do
    echo "$w"
done >"$work/k50"
i=0
while [ $i -lt 256 ]; do
    printf 'qzxv%04dwpk\n' "$i"
    i=$((i + 1))
done >"$work/k256"

# Prints "wall cpu" of one run, read to the millisecond by the shell's own
# clock (/usr/bin/time reads to the hundredth of a second, too coarse for
# runs of a few hundredths).
timed() {
    local TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>"$work/err"; } 2>"$work/time" || true
    tail -n 1 "$work/time" | awk '{ printf "%s %.3f\n", $1, $2 + $3 }'
}
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

files=$(find "$folder" -maxdepth 1 -type f -iname '*.doc*' | wc -l)
bytes=$(find "$folder" -maxdepth 1 -type f -iname '*.doc*' -exec cat {} + | wc -c)
echo "folder: $folder, $files files matching *.doc, $bytes bytes; $reps runs each, medians"
printf '%-10s %-22s %8s %8s %6s %9s %9s\n' keywords command wall cpu cores 'vs -j 1' 'vs rg'
for k in k1 k50 k256; do
    n=$(wc -l <"$work/$k")
    load=$(uptime | sed 's/.*load average: //')
    names="j1 j2 rg"
    [ -n "$before" ] && names="before $names"
    for name in $names; do : >"$work/$name.wall"; : >"$work/$name.cpu"; done
    r=0
    while [ $r -lt "$reps" ]; do
        for name in $names; do
            case $name in
            before) out=$(timed "$before" --word -K "$work/$k" "$folder") ;;
            j1) out=$(timed "$find_bin" -j 1 --word -K "$work/$k" "$folder") ;;
            j2) out=$(timed "$find_bin" -j 2 --word -K "$work/$k" "$folder") ;;
            rg) out=$(timed rg -a -l -i -F -f "$work/$k" -g '*.[dD][oO][cC]*' "$folder") ;;
            esac
            echo "$out" | awk '{ print $1 }' >>"$work/$name.wall"
            echo "$out" | awk '{ print $2 }' >>"$work/$name.cpu"
        done
        r=$((r + 1))
    done
    j1=$(median <"$work/j1.wall")
    rgw=$(median <"$work/rg.wall")
    for name in $names; do
        w=$(median <"$work/$name.wall")
        c=$(median <"$work/$name.cpu")
        case $name in
        before) label="before (plain)" ;;
        j1) label="varnel-find -j 1" ;;
        j2) label="varnel-find -j 2" ;;
        rg) label="rg -a -l -i -F -f" ;;
        esac
        awk -v n="$n" -v l="$label" -v w="$w" -v c="$c" -v j="$j1" -v g="$rgw" 'BEGIN {
            printf "%-10s %-22s %7.3fs %7.3fs %6.2f %8.2fx %8.2fx\n", n, l, w, c, (w > 0 ? c / w : 0),
                (w > 0 ? j / w : 0), (g > 0 ? w / g : 0) }'
    done
    echo "           load average before these runs: $load"
done
echo "vs -j 1: how many times faster than -j 1 (above 1: faster); vs rg: how many times rg's time (below 2: within 2x)"
