#!/usr/bin/env bash
# Cuts an ICU data package down to what qamcvs opens: the converter tables
# (.cnv) and the alias table that maps encoding names to them. The program
# uses no other ICU service (no locales, collation, normalisation or break
# iteration), and neither does Xerces-C's writing.
#
#   scripts/icu_converter_data.sh IN.dat OUT.dat
#       the cut package (the Windows build links it, scripts/windows_deps.sh)
#   scripts/icu_converter_data.sh --object libicudataVV.a OUT.o
#       the same cut of Debian's static data library, as an object file that
#       defines the data symbol the static libicuuc.a looks for
#
# IN.dat must keep ICU's own name (icudtVVl.dat): icupkg names the items
# after it. Needs icupkg and genccode (Debian's icu-devtools) and binutils.
set -euo pipefail

cut_package() {  # IN.dat OUT.dat
  local in=$1 out=$2 items remove
  # icupkg reads a list of items only from a file named .txt.
  items=$(mktemp) remove=$(mktemp --suffix=.txt)
  icupkg -l "$in" >"$items"
  grep -vE '^(cnvalias\.icu|[^/]*\.cnv)$' "$items" >"$remove" || true
  mkdir -p "$(dirname "$out")"
  icupkg -r "$remove" "$in" "$out"
  echo "ICU data: kept $(( $(wc -l <"$items") - $(wc -l <"$remove") )) of" \
       "$(wc -l <"$items") items, $(( $(stat -c %s "$out") / 1024 )) KiB"
  rm -f "$items" "$remove"
}

# icupkg and genccode live in /usr/sbin on Debian.
PATH=$PATH:/usr/sbin

if [ "${1:-}" != "--object" ]; then
  [ $# -eq 2 ] || { echo "usage: $0 IN.dat OUT.dat | --object LIBICUDATA.a OUT.o" >&2; exit 2; }
  cut_package "$1" "$2"
  exit 0
fi
[ $# -eq 3 ] || { echo "usage: $0 --object LIBICUDATA.a OUT.o" >&2; exit 2; }
archive=$2
out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The archive holds one object whose read-only section is the package
# itself (icudtVVl_dat.o, defining icudtVV_dat).
member=$(ar t "$archive" | grep -E '^icudt[0-9]+[lb]_dat\.o$' | head -n 1)
[ -n "$member" ] || { echo "$archive holds no icudt*_dat.o" >&2; exit 1; }
name=${member%_dat.o}          # icudt72l
entry=${name%[lb]}             # icudt72
(cd "$work" && ar x "$archive" "$member")
mkdir -p "$work/full" "$work/cut" "$work/gen"
objcopy -O binary --only-section=.rodata "$work/$member" "$work/full/$name.dat"
cut_package "$work/full/$name.dat" "$work/cut/$name.dat"
genccode -q -o -m "$work/$member" -e "$entry" --skip-dll-export -d "$work/gen" \
  "$work/cut/$name.dat" >/dev/null
# genccode's object has no .note.GNU-stack section, which would make the
# linker ask for an executable stack.
objcopy --add-section .note.GNU-stack=/dev/null \
  --set-section-flags .note.GNU-stack=contents,readonly \
  "$work/gen/${name}_dat.o" "$out"
