#!/usr/bin/env bash
# Builds the Debian package from a configured build directory and checks it
# the way a user would meet it: the control fields, the file list, and the
# extracted program and man page.
#
# Usage: scripts/package_check.sh BUILD_DIR
#
# BUILD_DIR is a CMake build directory of this project (it holds
# CPackConfig.cmake). The package is built into a throw-away directory, so
# BUILD_DIR gains no .deb. Exit status 0 when every check passes, 1 with a
# message naming the failed check otherwise, 2 on a usage error.
set -euo pipefail

prog=package_check

fail() {
  echo "$prog: FAIL: $*" >&2
  exit 1
}

usage() {
  echo "usage: scripts/package_check.sh BUILD_DIR" >&2
  exit 2
}

[[ $# -eq 1 ]] || usage
[[ $1 != -h && $1 != --help ]] || usage
build_dir=$(cd "$1" 2>/dev/null && pwd) || fail "build directory '$1' does not exist"
config="$build_dir/CPackConfig.cmake"
[[ -f $config ]] ||
  fail "$config is missing: configure the build first (cmake -S . -B $1) and make sure CMakeLists.txt includes cmake/packaging.cmake"

for tool in cmake cpack dpkg-deb gzip; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qamcvs-package-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- Build ------------------------------------------------------------------
# cpack installs what is already built and builds nothing itself, so bring
# the program and the compressed man page up to date first.

echo "$prog: building $build_dir"
cmake --build "$build_dir" --target qamcvs qamcvs_man >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "cmake --build $build_dir failed"; }

echo "$prog: cpack -G DEB"
(cd "$build_dir" && cpack -G DEB --config "$config" -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }

shopt -s nullglob
debs=("$work"/out/qamcvs_*.deb)
shopt -u nullglob
[[ ${#debs[@]} -eq 1 ]] ||
  fail "expected one qamcvs_*.deb from cpack, found ${#debs[@]}: $(ls "$work/out")"
deb=${debs[0]}
echo "$prog: built $(basename "$deb")"

# --- Control fields ----------------------------------------------------------

info=$(dpkg-deb --info "$deb") || fail "dpkg-deb --info cannot read $deb"
echo "$info"

field() {
  dpkg-deb --field "$deb" "$1"
}

[[ $(field Package) == qamcvs ]] || fail "Package is '$(field Package)', expected 'qamcvs'"
version=$(field Version)
[[ -n $version ]] || fail "the package has no Version"
[[ $(basename "$deb") == "qamcvs_${version}_$(field Architecture).deb" ]] ||
  fail "file name $(basename "$deb") does not follow the Debian default qamcvs_VERSION_ARCH.deb"
[[ $(field Section) == devel ]] || fail "Section is '$(field Section)', expected 'devel'"
[[ $(field Maintainer) == "qamcvs developers <qamcvs@localhost>" ]] ||
  fail "Maintainer is '$(field Maintainer)'"
[[ -n $(field Description) ]] || fail "the package has no Description"

suggests=$(field Suggests)
for pkg in cvs rcs; do
  [[ ", $suggests," == *", $pkg,"* ]] || fail "Suggests '$suggests' does not name $pkg"
done

# Depends comes from dpkg-shlibdeps; a partial list means the package would
# install on a machine that cannot run the program. The program links
# Xerces-C from its static archive, without the network stack, and by
# default (QAM_STATIC_RUNTIME) everything else too, the C library included,
# so it has no dependency; with the shared libstdc++ and ICU it depends on
# libc6 and their packages. The extracted program's own list of shared
# libraries is checked against it below.
depends=$(field Depends 2>/dev/null || true)
for pkg in libcurl libgnutls; do
  [[ $depends != *"$pkg"* ]] || fail "Depends '$depends' names $pkg"
done

# --- Contents ------------------------------------------------------------------

contents=$(dpkg-deb --contents "$deb") || fail "dpkg-deb --contents cannot read $deb"
echo "$contents"

expect_entry() {  # PERMISSIONS PATH
  grep -Eq "^$1 +root/root +[0-9]+ [0-9-]+ [0-9:]+ \./$2\$" <<<"$contents" ||
    fail "the package lacks ./$2 with permissions $1 owned by root"
}
expect_entry '-rwxr-xr-x' 'usr/bin/qamcvs'
expect_entry '-rw-r--r--' 'usr/share/man/man1/qamcvs\.1\.gz'
expect_entry '-rw-r--r--' 'usr/share/doc/qamcvs/copyright'

# Nothing from the build tree (tests, benchmarks, static libraries, headers)
# may leak into the package.
unexpected=$(awk '{print $NF}' <<<"$contents" | grep -Ev '/$' |
  grep -Ev '^\./usr/(bin/qamcvs|share/man/man1/qamcvs\.1\.gz|share/doc/qamcvs/copyright)$' || true)
[[ -z $unexpected ]] || fail "unexpected files in the package: $unexpected"

# --- Extracted program and man page -------------------------------------------------

root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x cannot extract $deb"

binary="$root/usr/bin/qamcvs"
[[ -x $binary ]] || fail "usr/bin/qamcvs is not executable after extraction"

# A shared library the program needs is a package it depends on, and a
# package it depends on is a library it needs.
command -v objdump >/dev/null || fail "objdump (binutils) is not installed"
needed=$(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }')
for pair in libc.so:libc6 libicuuc:libicu libstdc++:libstdc++ libxerces-c:libxerces-c; do
  library=${pair%%:*} pkg=${pair##*:}
  if grep -q "^$library" <<<"$needed"; then
    [[ $depends == *"$pkg"* ]] ||
      fail "usr/bin/qamcvs needs $library but Depends '$depends' does not name $pkg"
  else
    [[ $depends != *"$pkg"* ]] ||
      fail "Depends '$depends' names $pkg, which usr/bin/qamcvs does not link"
  fi
done
if [[ -z $needed ]]; then
  [[ -z $depends ]] || fail "usr/bin/qamcvs is statically linked but Depends is '$depends'"
  echo "$prog: usr/bin/qamcvs is statically linked: no shared library, no Depends"
else
  echo "$prog: usr/bin/qamcvs needs $(tr '\n' ' ' <<<"$needed")"
fi

set +e
version_out=$("$binary" --version 2>"$work/version.err")
version_rc=$?
set -e
[[ $version_rc -eq 0 ]] ||
  fail "usr/bin/qamcvs --version exited with $version_rc: $(cat "$work/version.err")"
[[ $version_out =~ ^qamcvs\ ([0-9]+(\.[0-9]+)*[^[:space:]]*)$ ]] ||
  fail "usr/bin/qamcvs --version printed '$version_out', expected 'qamcvs ' and a version"
[[ ${BASH_REMATCH[1]} == "$version" ]] ||
  fail "the program says version ${BASH_REMATCH[1]} but the package is version $version"
echo "$prog: usr/bin/qamcvs --version: $version_out"

man_page="$root/usr/share/man/man1/qamcvs.1.gz"
[[ -f $man_page ]] || fail "usr/share/man/man1/qamcvs.1.gz is missing after extraction"
gzip -t "$man_page" 2>/dev/null || fail "usr/share/man/man1/qamcvs.1.gz is not a valid gzip file"
gzip -dc "$man_page" | grep -q '^\.TH QAMCVS 1' ||
  fail "usr/share/man/man1/qamcvs.1.gz does not hold the qamcvs(1) page"

echo "$prog: OK: $(basename "$deb")"
