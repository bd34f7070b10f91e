#!/usr/bin/env bash
# Builds zlib, libpng, libjpeg-turbo and FreeType for WebAssembly from
# Debian's own source packages, into a cache that later builds reuse:
#   scripts/build-wasm-libs.sh PREFIX_PARENT
# leaves PREFIX_PARENT/prefix/{include,lib}. Each library is built once; a
# stamp file marks it done.
set -euo pipefail
if [ "${1:-}" = "--help" ] || [ $# -ne 1 ]; then
  echo "usage: scripts/build-wasm-libs.sh DIR   (libraries land in DIR/prefix)"
  [ "${1:-}" = "--help" ] && exit 0 || exit 2
fi
root="$(mkdir -p "$1" && cd "$1" && pwd)"
prefix="$root/prefix"
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
mkdir -p "$root/src" "$prefix"
jobs="${JOBS:-2}"

# Unpacks Debian source package $1 once and prints its folder.
unpack() {
  local pkg="$1"
  local dir
  dir="$(find "$root/src/$pkg" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -1)"
  if [ -z "$dir" ]; then
    rm -rf "$root/src/$pkg" && mkdir -p "$root/src/$pkg"
    # Newest version first; a mirror may lack the sources of some suites
    # (security updates), so older versions are tried in turn.
    local v ok=0
    : >"$root/src/$pkg.log"
    for v in $(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -Vru); do
      if (cd "$root/src/$pkg" && apt-get source -qq "$pkg=$v" >>"$root/src/$pkg.log" 2>&1); then
        ok=1
        break
      fi
      rm -rf "${root:?}/src/$pkg"/*
    done
    if [ "$ok" != 1 ]; then
      echo "build-wasm-libs: apt-get source $pkg failed (see $root/src/$pkg.log; a deb-src entry is needed)" >&2
      exit 1
    fi
    dir="$(find "$root/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -1)"
  fi
  echo "$dir"
}

# build NAME SOURCE-PACKAGE CMAKE-ARGS...
build() {
  local name="$1" pkg="$2"
  shift 2
  [ -f "$root/$name.done" ] && return 0
  echo "build-wasm-libs: $name from Debian's $pkg source"
  local src
  src="$(unpack "$pkg")"
  rm -rf "$root/build-$name"
  emcmake cmake -S "$src" -B "$root/build-$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$root/build-$name.log" 2>&1 \
    && cmake --build "$root/build-$name" -j "$jobs" >>"$root/build-$name.log" 2>&1 \
    && cmake --install "$root/build-$name" >>"$root/build-$name.log" 2>&1 || {
      echo "build-wasm-libs: $name failed; see $root/build-$name.log" >&2
      tail -20 "$root/build-$name.log" >&2
      exit 1
    }
  touch "$root/$name.done"
}

# zlib through its own configure: Debian's source drops the Windows files its
# CMake list names.
if [ ! -f "$root/zlib.done" ]; then
  echo "build-wasm-libs: zlib from Debian's zlib source"
  src="$(unpack zlib)"
  (cd "$src" && emconfigure ./configure --static --prefix="$prefix" && emmake make -j "$jobs" libz.a \
     && emmake make install) >"$root/build-zlib.log" 2>&1 || {
    echo "build-wasm-libs: zlib failed; see $root/build-zlib.log" >&2
    tail -20 "$root/build-zlib.log" >&2
    exit 1
  }
  touch "$root/zlib.done"
fi
build libpng libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
# Its type-size probe misreads wasm objects: the sizes are given.
build libjpeg libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4
# On the zlib above: without one FreeType compiles its own copy in, whose
# names clash with it at link time.
build freetype freetype -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
