#!/usr/bin/env bash
# Builds the static Windows libraries qamcvs.exe links, from Debian's own
# source packages, with Debian's MinGW-w64: Xerces-C 3.2.4 (network accessor
# off, Windows transcoder) and ICU 72.1 (data cut down to the converter
# tables and their aliases). They go to a cache folder outside the clone,
# keyed by the versions, that later builds reuse:
#
#   scripts/windows_deps.sh            builds what the cache lacks
#   scripts/windows_deps.sh --prefix   prints the folder and exits
#
# QAM_WINDOWS_DEPS_CACHE moves the cache (default ~/.cache/qamcvs-windows-deps);
# QAM_WINDOWS_DEPS_JOBS sets the parallel jobs (default: at most 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

xerces_version=3.2.4
icu_version=72.1
cache=${QAM_WINDOWS_DEPS_CACHE:-$HOME/.cache/qamcvs-windows-deps}
prefix=$cache/xerces-$xerces_version-icu-$icu_version
if [ "${1:-}" = "--prefix" ]; then echo "$prefix"; exit 0; fi
if [ -f "$prefix/.complete" ]; then
  echo "Windows dependencies: reusing $prefix"
  exit 0
fi

jobs=${QAM_WINDOWS_DEPS_JOBS:-$(( $(nproc) < 2 ? $(nproc) : 2 ))}
triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# apt-get source needs deb-src entries: copy the machine's own deb entries
# (whatever mirror they name) as deb-src, once.
have_deb_src() {
  grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! have_deb_src; then
  list=/etc/apt/sources.list.d/qamcvs-deb-src.sources
  tmp=$(mktemp)
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    sed -E 's/^Types:.*$/Types: deb-src/' "$file" >>"$tmp"
    echo >>"$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -E 's/^deb /deb-src /' >"$tmp.list" || true
    if [ -s "$tmp.list" ]; then $sudo cp "$tmp.list" /etc/apt/sources.list.d/qamcvs-deb-src.list; fi
    rm -f "$tmp.list"
  fi
  if [ -s "$tmp" ]; then $sudo cp "$tmp" "$list"; fi
  rm -f "$tmp"
  $sudo apt-get update -qq
fi

work=$cache/build-xerces-$xerces_version-icu-$icu_version
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "Windows dependencies: building into $prefix (sources and objects in $work)"

# --- Sources --------------------------------------------------------------
# apt-get source unpacks with Debian's patches applied; only the upstream
# version is pinned, so a Debian security revision is taken as it comes.
apt-get source -qq xerces-c icu 2>&1 | grep -v '^W: Download is performed unsandboxed' || true
xerces_src=$(find "$work" -maxdepth 1 -type d -name "xerces-c-$xerces_version*" | head -n 1)
icu_src=$(find "$work" -maxdepth 1 -type d -name "icu-$icu_version*" | head -n 1)
if [ -z "$xerces_src" ] || [ -z "$icu_src" ]; then
  echo "apt-get source did not give xerces-c $xerces_version and icu $icu_version" >&2
  ls "$work" >&2
  exit 1
fi
if [ -d "$icu_src/icu4c/source" ]; then icu_src=$icu_src/icu4c; fi

# --- Xerces-C -------------------------------------------------------------
start=$SECONDS
cmake -S "$xerces_src" -B xerces-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
  -Dnetwork=OFF -Dtranscoder=windows -Dmessage-loader=inmemory -Dmutex-manager=windows \
  -DCMAKE_CXX_FLAGS="-Os" >xerces-configure.log
# Only the library: its samples and tests are not needed here. The src
# folder's install rules put the archive, the headers and the CMake package.
cmake --build xerces-build -j "$jobs" --target xerces-c >xerces-build.log
cmake -P xerces-build/src/cmake_install.cmake >/dev/null
echo "Xerces-C $xerces_version: $((SECONDS - start)) s"

# --- ICU: Debian's own tools, then the cross build ------------------------
# The cross build runs the data tools (icupkg, pkgdata, genccode...) of a
# native ICU of the same version and builds none of its own (--disable-tools).
# Debian's icu-devtools are those tools, version for version, so the native
# side is only configured, for the settings the cross build reads from it
# (config/icucross.mk), and its bin/ points at them; building a native ICU
# would take minutes more. For Windows only the common library and the data
# are made: the program uses no i18n service.
common=(--enable-static --disable-shared --disable-tests --disable-samples
        --disable-extras --disable-icuio --disable-layoutex)
installed=$(dpkg-query -W -f='${Version}' icu-devtools 2>/dev/null || true)
case $installed in
  "$icu_version"-*) ;;
  *) echo "icu-devtools $icu_version is needed (installed: ${installed:-none})" >&2; exit 1 ;;
esac
mkdir -p icu-native/bin
(cd icu-native &&
   "$icu_src/source/configure" "${common[@]}" >configure.log &&
   make config/icucross.mk config/icucross.inc >build.log 2>&1) ||
  { tail -n 40 icu-native/configure.log icu-native/build.log >&2; exit 1; }
for tool in icupkg pkgdata genccode gencmn gencnval makeconv genrb; do
  path=$(command -v "$tool" || ls /usr/sbin/"$tool" 2>/dev/null) ||
    { echo "ICU tool $tool not found" >&2; exit 1; }
  ln -sf "$path" "icu-native/bin/$tool"
done

# Debian's ICU source carries the data prebuilt (source/data/in/icudt72l.dat),
# not the sources the data filter works on, so icupkg cuts the package down
# instead (scripts/icu_converter_data.sh, as for the Linux build): the
# program opens only converters, which need their tables (.cnv) and the alias
# table. The full data would make a 32 MB executable.
dat=$icu_src/source/data/in/icudt${icu_version%%.*}l.dat
# icupkg names the items after the output file: it keeps the package's name.
"$root/scripts/icu_converter_data.sh" "$dat" "icu-subset/$(basename "$dat")"
cp "icu-subset/$(basename "$dat")" "$dat"

start=$SECONDS
mkdir -p icu-cross
(cd icu-cross &&
   CC=$triple-gcc-posix CXX=$triple-g++-posix AR=$triple-ar RANLIB=$triple-ranlib \
   CFLAGS=-Os CXXFLAGS=-Os CPPFLAGS=-DU_STATIC_IMPLEMENTATION \
   "$icu_src/source/configure" --host=$triple --with-cross-build="$work/icu-native" \
     --prefix="$prefix" --with-data-packaging=static --disable-tools "${common[@]}" \
     >configure.log &&
   mkdir -p lib bin &&
   make -j "$jobs" -C stubdata >build.log 2>&1 &&
   make -j "$jobs" -C common >>build.log 2>&1 &&
   make -j "$jobs" -C data >>build.log 2>&1) || { tail -n 40 icu-cross/build.log >&2; exit 1; }
# ICU's "make install" puts a MinGW data archive among the programs, under a
# name without "lib"; the program needs the common library, its headers and
# the data, so those are copied by hand.
mkdir -p "$prefix/include/unicode" "$prefix/lib"
cp "$icu_src"/source/common/unicode/*.h "$prefix/include/unicode/"
cp icu-cross/lib/libsicuuc.a "$prefix/lib/libsicuuc.a"
cp icu-cross/lib/sicudt.a "$prefix/lib/libsicudt.a"
echo "ICU $icu_version for Windows: $((SECONDS - start)) s"

# --- Licence notices, shipped with the executable --------------------------
mkdir -p "$prefix/share/licenses"
cp "$xerces_src/LICENSE" "$prefix/share/licenses/Xerces-C-LICENSE.txt"
cp "$xerces_src/NOTICE" "$prefix/share/licenses/Xerces-C-NOTICE.txt"
for file in "$icu_src/LICENSE" "$icu_src/source/LICENSE" "$icu_src/../LICENSE"; do
  if [ -f "$file" ]; then cp "$file" "$prefix/share/licenses/ICU-LICENSE.txt"; break; fi
done
test -f "$prefix/share/licenses/ICU-LICENSE.txt"

touch "$prefix/.complete"
cd "$root"
rm -rf "$work"
echo "Windows dependencies: done in $prefix"
