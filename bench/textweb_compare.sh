#!/usr/bin/env bash
# Times varnel-find against `grep -rliF` and `rg -l -i -F` on text files and
# web pages, all three in one run so that they see the same machine load:
#   - 10,000 generated files of about 10 KB (half .txt, half .htm) in 100
#     folders, with 1 keyword and with 50 keywords;
#   - one generated 100 MB .txt, with 1 keyword.
# Each command runs RUNS times (default 5), taking turns with the others,
# after one warm-up run; the median wall time and the peak memory of the
# warm-up run (/usr/bin/time -v) are printed, with varnel-find's ratio to
# grep. Nothing passes or fails here.
#
# Usage: bench/textweb_compare.sh [BUILD_DIR]   (RUNS=n, KEEP=dir to reuse
# or keep the generated files, SKIP_BIG=1 to leave out the 100 MB file,
# BEFORE=path of an older varnel-find to time beside the current one)
#
# CPU time (user + system) is printed too: on a machine that others load
# it moves less than the wall time.
set -euo pipefail
build=$(readlink -f "${1:-build}")
runs=${RUNS:-5}
find_bin="$build/bin/varnel-find"
[[ -x "$find_bin" ]] || find_bin="$build/cli/varnel-find"
[[ -x "$find_bin" ]] || { echo "varnel-find not found under $build" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

if [[ -n "${KEEP:-}" ]]; then
  work=$KEEP
  mkdir -p "$work"
else
  work=$(mktemp -d)
fi
# Keywords, settings and timings live apart from the (possibly kept and
# shared) input files, so that two runs at once do not mix their figures.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; [[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
mkdir -p "$scratch/config"
export XDG_CONFIG_HOME="$scratch/config"

# Deterministic text: words drawn from a fixed vocabulary (with some capitals,
# accented and non-Latin words), so that a keyword is found in a share of the
# files and the rest are read to their end.
if [[ ! -f "$work/.made" ]]; then
  python3 - "$work" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(17)
base = ("the of and to in is was for on that with as by at from this are be it an or which have not had "
        "report office budget meeting project water garden river station market winter summer letter "
        "number people system energy health school family result nature travel museum theatre").split()
extra = ["Straße", "café", "naïve", "Ελλάδα", "москва", "日本語", "Übersicht", "élève", "fjord", "İstanbul"]
rare = ["zephyrine%d" % i for i in range(60)]
def words(n, rare_rate):
    out = []
    for _ in range(n):
        r = rng.random()
        if r < rare_rate:
            out.append(rng.choice(rare))
        elif r < 0.03:
            out.append(rng.choice(extra))
        else:
            w = rng.choice(base)
            out.append(w.capitalize() if rng.random() < 0.08 else w)
    return out
def lines(size, rare_rate):
    text, line = [], []
    total = 0
    while total < size:
        for w in words(12, rare_rate):
            line.append(w)
        s = " ".join(line) + ".\n"
        text.append(s)
        total += len(s.encode())
        line = []
    return "".join(text)
for d in range(100):
    folder = os.path.join(root, "files", "f%03d" % d)
    os.makedirs(folder, exist_ok=True)
    for f in range(100):
        n = d * 100 + f
        body = lines(10 * 1024, 0.0004)
        if n % 2 == 0:
            with open(os.path.join(folder, "t%05d.txt" % n), "w", encoding="utf-8") as out:
                out.write(body)
        else:
            paras = "".join("<p class=\"c%d\">%s</p>\n" % (i % 3, p.replace("&", "&amp;"))
                            for i, p in enumerate(body.split("\n")) if p)
            with open(os.path.join(folder, "h%05d.htm" % n), "w", encoding="utf-8") as out:
                out.write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Page %d</title>"
                          "<style>p { margin: 0 }</style></head>\n<body>\n<div>%s</div></body></html>\n" % (n, paras))
big = os.path.join(root, "big")
os.makedirs(big, exist_ok=True)
with open(os.path.join(big, "big.txt"), "w", encoding="utf-8") as out:
    chunk = lines(1 << 20, 0.0)
    for i in range(100):
        out.write(chunk)
    out.write("the last line holds zephyrine-end\n")
EOF
  touch "$work/.made"
fi

: > "$scratch/k1"
echo "zephyrine7" > "$scratch/k1"
: > "$scratch/k50"
for i in $(seq 0 44); do echo "ZEPHYRINE$((i + 100))" >> "$scratch/k50"; done
# Five that occur in a few files each, one with letters whose folding
# changes length; the rest occur nowhere, so every file is read to its end.
printf '%s\n' zephyrine3 Zephyrine4 "zephyrine5 the" zephyrine6 STRASSE-zephyrine >> "$scratch/k50"
echo "zephyrine-end" > "$scratch/kbig"

# median of the wall times in file $1; largest peak (kB) in file $2
median() { sort -n "$1" | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
peak() { sort -n "$1" | tail -1; }

# The command of one name, in CMD, for the keyword file, folder and
# arguments compare() set.
set_cmd() {
  case $1 in
  varnel) CMD=("$find_bin" "${vargs[@]}" "$dir") ;;
  before) CMD=("$BEFORE" "${vargs[@]}" "$dir") ;;
  grep) CMD=(grep -rliF -f "$kfile" "$dir") ;;
  rg) CMD=(rg -l -i -F -f "$kfile" "$dir") ;;
  esac
}

# The warm-up run of each command gives its peak memory (/usr/bin/time -v).
# The timed runs go round the commands in turn, so that a change of the
# machine's speed meets them alike, and use the shell's own clock, which
# reads to the millisecond where /usr/bin/time reads to the hundredth of a
# second: grep's whole run over the small files takes a few hundredths.
compare() {  # label, keyword file, folder, recurse flag
  local label=$1
  kfile=$2 dir=$3
  vargs=(--text --htm -K "$kfile")
  [[ "$4" == 1 ]] && vargs=(-r "${vargs[@]}")
  local -a names=(varnel grep rg)
  [[ -n "${BEFORE:-}" ]] && names+=(before)
  local n TIMEFORMAT='%3R %3U %3S'
  for n in "${names[@]}"; do
    : > "$scratch/t.$n"; : > "$scratch/m.$n"; : > "$scratch/c.$n"
    set_cmd "$n"
    /usr/bin/time -v -o "$scratch/tv" "${CMD[@]}" > "$scratch/out.$n" 2> /dev/null || true
    awk -F': ' '/Maximum resident set size/ {print $2}' "$scratch/tv" >> "$scratch/m.$n"
  done
  for _ in $(seq "$runs"); do
    for n in "${names[@]}"; do
      set_cmd "$n"
      { time "${CMD[@]}" > "$scratch/out.$n" 2> /dev/null; } 2> "$scratch/tb" || true
      tail -n 1 "$scratch/tb" | awk '{print $1}' >> "$scratch/t.$n"
      tail -n 1 "$scratch/tb" | awk '{print $2 + $3}' >> "$scratch/c.$n"
    done
  done
  local tg
  tg=$(median "$scratch/t.grep")
  echo "$label"
  for n in "${names[@]}"; do
    local t c
    t=$(median "$scratch/t.$n"); c=$(median "$scratch/c.$n")
    printf '  %-12s wall %7.3f s  cpu %7.3f s  peak %8d kB  wall/grep %6.1fx  files %d\n' "$n" "$t" "$c" \
      "$(peak "$scratch/m.$n")" "$(echo "$t / $tg" | bc -l)" "$(grep -c . "$scratch/out.$n" || true)"
  done
}

echo "load before: $(uptime)"
echo "medians of $runs runs after one warm-up, the commands taking turns; peak = maximum resident set size of the warm-up run; varnel = $find_bin${BEFORE:+, before = $BEFORE}"
compare "10,000 files, 1 keyword" "$scratch/k1" "$work/files" 1
compare "10,000 files, 50 keywords" "$scratch/k50" "$work/files" 1
if [[ -z "${SKIP_BIG:-}" ]]; then
  compare "100 MB .txt, 1 keyword" "$scratch/kbig" "$work/big" 0
fi
echo "load after: $(uptime)"
