#!/usr/bin/env bash
# Whole-process benchmark: every command's run time next to `cvs rls` and an
# empty C++ program (medians of hyperfine runs), the history command's
# throughput and peak memory on a 20,000-revision rlog log, then the Google
# Benchmark programs. Usage: scripts/bench.sh [RUNS]   (default 30 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
QAM_SETUP_EXTRA="hyperfine time bc" scripts/setup.sh
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
scripts/make_long_archive.sh "$work/long.c,v" 20000
rlog "$work/long.c,v" > "$work/long.log"
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

for program in build-bench/*_bench; do
  [ -x "$program" ] || continue
  echo
  "$program" --benchmark_min_time=0.5
done
