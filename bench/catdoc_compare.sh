#!/usr/bin/env bash
# Compares varnel-find with a catdoc | grep loop over the same .doc files,
# measured in one run. Usage: bench/catdoc_compare.sh BUILD_DIR DOC_FOLDER
# (needs catdoc: apt-get install catdoc). Only files whose extension is
# exactly .doc are used; both searches look for the same two keywords.
set -euo pipefail
build=${1:-build}
source=${2:-../shared/corpus/poi/document}
k1=${K1:-the}
k2=${K2:-document}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/docs" "$work/config"
n=0
for f in "$source"/*.doc; do
  [[ -f "$f" ]] || continue
  ln -s "$(readlink -f "$f")" "$work/docs/$(basename "$f")"
  n=$((n + 1))
done

export XDG_CONFIG_HOME="$work/config"
t0=$(date +%s.%N)
"$build/bin/varnel-find" -k "$k1" -k "$k2" --word "$work/docs" > "$work/varnel.out" 2> /dev/null || true
t1=$(date +%s.%N)
found_c=0
for f in "$work"/docs/*.doc; do
  if catdoc "$f" 2> /dev/null | grep -q -e "$k1" -e "$k2"; then found_c=$((found_c + 1)); fi
done
t2=$(date +%s.%N)

v=$(echo "$t1 - $t0" | bc -l)
c=$(echo "$t2 - $t1" | bc -l)
printf 'files: %d .doc, keywords: %s %s\n' "$n" "$k1" "$k2"
printf 'varnel-find:       %.2f s, %d files matched\n' "$v" "$(wc -l < "$work/varnel.out")"
printf 'catdoc | grep -q:  %.2f s, %d files matched\n' "$c" "$found_c"
printf 'speed-up: %.1fx\n' "$(echo "$c / $v" | bc -l)"
