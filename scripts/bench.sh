#!/usr/bin/env bash
# Whole-process benchmark: every command's run time next to `cvs rls` and an
# empty C++ program (medians of hyperfine runs); one question (`qamcvs 1`)
# against `cvs rls`, `cvs --version` and a trivial static C program in paired
# runs (bench/paired_time.cpp); callgrind's instruction counts of `qamcvs 1`,
# `qamcvs 2` and the history command; the stripped size of the program; the
# history command's throughput and peak memory on a 20,000-revision rlog log
# and on the same log with every tenth comment line in Latin-1; then the
# Google Benchmark programs. Usage: scripts/bench.sh [RUNS]   (default 30 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
QAM_SETUP_EXTRA="hyperfine time bc valgrind" scripts/setup.sh
scripts/build.sh build-bench -DQAM_BUILD_BENCHMARKS=ON -DQAM_BUILD_TESTS=OFF >/dev/null
bin=$PWD/build-bench/qamcvs

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A real repository with one module, a sub-folder and a file.
export CVSROOT=$work/repo
cvs -Q init
mkdir -p "$work/import/sub"
echo one > "$work/import/a.txt"
echo two > "$work/import/sub/b.txt"
(cd "$work/import" && LOGNAME=bench cvs -Q import -m "first import" mod vendor start)
rlog "$CVSROOT/mod/a.txt,v" > "$work/a.log"
rlog -h "$CVSROOT/mod/a.txt,v" > "$work/a.header"
echo "Files a and b differ" > "$work/diff.txt"
printf 'int main() { return 0; }\n' > "$work/empty.cpp"
c++ -O2 -o "$work/empty" "$work/empty.cpp"
printf 'int main(void) { return 0; }\n' > "$work/trivial.c"
cc -O2 -static -o "$work/trivial" "$work/trivial.c"
c++ -O2 -o "$work/paired_time" bench/paired_time.cpp

median() {  # hyperfine JSON export -> median in milliseconds
  awk -F'[:,]' '/"median"/ { printf "%.2f", $2 * 1000; exit }' "$1"
}
measure() {  # name command...
  local name=$1; shift
  hyperfine -N -i -w 5 -r "$runs" --export-json "$work/$name.json" "$*" >/dev/null 2>&1
  median "$work/$name.json"
}

empty=$(measure empty "$work/empty")
cvsrls=$(measure cvsrls cvs -d "$CVSROOT" rls mod)
printf '%-34s %8s %12s %10s\n' "whole process" "median" "/ cvs rls" "/ empty"
printf '%-34s %6s ms\n' "empty C++ program" "$empty"
printf '%-34s %6s ms\n' "cvs -d REPO rls mod" "$cvsrls"
row() {
  local name=$1; shift
  local ms
  ms=$(measure "$name" "$@")
  printf '%-34s %6s ms %12.2f %10.2f\n' "$name" "$ms" \
    "$(echo "$ms / $cvsrls" | bc -l)" "$(echo "$ms / $empty" | bc -l)"
}
row "1 path existence" "$bin" 1 "PathToRep=$CVSROOT" PathInRep=mod/a.txt
row "3 checked-out status" "$bin" 3 "OutputFile=$work/a.header"
row "4 history (1 revision)" "$bin" 4 "OutputFile=$work/a.log"
row "5 child enumeration" "$bin" 5 "PathToRep=$CVSROOT" PathInRep=mod Children_Type=DIRECTORY
row "7 folder creation (exists)" "$bin" 7 "PathToRep=$CVSROOT" PathInRep=mod FolderName=sub
row "8 properties" "$bin" 8 "PathToRep=$CVSROOT" PathInRep=mod
row "9 file difference" "$bin" 9 "OutputFile=$work/diff.txt"

echo
question=("$bin" 1 "PathToRep=$CVSROOT" PathInRep=mod/a.txt)
pairs=$((runs * 10))
echo "one question, qamcvs 1, in $pairs paired runs (median ms each; median of the ratios)"
paired() {  # label command...
  local label=$1; shift
  read -r mine theirs ratio < <("$work/paired_time" "$pairs" "${question[@]}" -- "$@")
  printf '  %-30s %6s ms against %6s ms: %5s x\n' "$label" "$mine" "$theirs" "$ratio"
}
paired "/ cvs -d REPO rls mod" "$(command -v cvs)" -d "$CVSROOT" rls mod
paired "/ cvs --version" "$(command -v cvs)" --version
paired "/ trivial static C program" "$work/trivial"

echo
instructions() {  # command... -> callgrind's instruction count
  { valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" 2>&1 >/dev/null ||
      true; } | sed -n 's/.*Collected : //p'
}
strip -o "$work/qamcvs.stripped" "$bin"
printf 'qamcvs stripped: %s bytes\n' "$(stat -c %s "$work/qamcvs.stripped")"
printf 'callgrind, qamcvs 1:  %12s instructions\n' "$(instructions "${question[@]}")"
printf 'callgrind, qamcvs 2:  %12s instructions\n' "$(instructions "$bin" 2)"

echo
scripts/make_long_archive.sh "$work/long.c,v" 20000
rlog "$work/long.c,v" > "$work/long.log"
# The same log with every tenth comment line in Latin-1 (each e an e-acute).
LC_ALL=C awk '/^(Change number|Second line of the message)/ { if (++n % 10 == 0) gsub(/e/, "\351") }
              { print }' "$work/long.log" > "$work/latin1.log"
bytes=$(stat -c %s "$work/long.log")
rlogms=$(measure rlog rlog "$work/long.c,v")
histms=$(measure history "$bin" 4 "OutputFile=$work/long.log")
/usr/bin/time -f "%M" -o "$work/rss" "$bin" 4 "OutputFile=$work/long.log" >/dev/null || true
rss=$(tail -n 1 "$work/rss")
echo "20,000-revision log: $((bytes / 1024)) KiB of rlog text"
printf '  rlog printing it:     %8s ms (%.1f MB/s)\n' "$rlogms" "$(echo "$bytes / 1000 / $rlogms" | bc -l)"
printf '  qamcvs 4 on it:       %8s ms (%.1f MB/s, start-up included)\n' "$histms" \
  "$(echo "$bytes / 1000 / $histms" | bc -l)"
printf '  qamcvs 4 peak memory: %8s KiB (%.1f x the log)\n' "$rss" "$(echo "$rss * 1024 / $bytes" | bc -l)"
/usr/bin/time -f "%M" -o "$work/rss" "$bin" 4 "OutputFile=$work/latin1.log" >/dev/null || true
rss=$(tail -n 1 "$work/rss")
printf '  the Latin-1 log:      %8s KiB (%.1f x the log)\n' "$rss" "$(echo "$rss * 1024 / $bytes" | bc -l)"
utf8=$(instructions "$bin" 4 "OutputFile=$work/long.log")
latin1=$(instructions "$bin" 4 "OutputFile=$work/latin1.log")
printf '  callgrind, qamcvs 4:  %12s instructions\n' "$utf8"
printf '  the Latin-1 log:      %12s instructions (%.2f x)\n' "$latin1" \
  "$(echo "$latin1 / $utf8" | bc -l)"

for program in build-bench/*_bench; do
  [ -x "$program" ] || continue
  echo
  "$program" --benchmark_min_time=0.5
done
