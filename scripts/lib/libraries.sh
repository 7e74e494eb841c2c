#!/usr/bin/env bash
# The decoders of record for the Windows and web builds: the versions of
# libjpeg-turbo, libspng, zlib, giflib, libwebp and Little CMS 2 that Debian
# 12 ships (and the Linux build links), built from Debian's own source
# packages (Debian's patches applied) into static libraries, so that all
# three builds decode a file to the same pixels.
#
#   . scripts/lib/libraries.sh
#   build_libraries win32|web     # exports HALVEX_LIBRARY_PREFIX
#
# or, by hand, `scripts/lib/libraries.sh win32|web` (prints the prefix).
# After either, `cmake --preset win32` (or web) finds the libraries through
# build/libraries/<target>, a link into the cache.
#
# Sources and built prefixes live outside the clone, in
# ${XDG_CACHE_HOME:-$HOME/.cache}/halvex, the prefix keyed by the target, the
# compiler and a hash of this file (which holds the versions), so a fresh
# clone on the same machine builds nothing. The sources are fetched with
# apt-get through a private list folder whose deb-src entries are derived
# from the machine's own apt sources; the system's apt set-up is untouched.

halvex_libraries_script=$(realpath "${BASH_SOURCE[0]}")
halvex_libraries_root=$(cd "$(dirname "$halvex_libraries_script")/../.." && pwd)
. "$halvex_libraries_root/scripts/lib/packages.sh"

# Source package, Debian version, upstream version: those of Debian 12,
# the same as the Linux build's -dev packages (named last).
HALVEX_LIBRARY_SOURCES=(
    "zlib 1:1.2.13.dfsg-1 1.2.13 zlib1g-dev"
    "libspng 0.7.3-3 0.7.3 libspng-dev"
    "libjpeg-turbo 1:2.1.5-2 2.1.5 libjpeg62-turbo-dev"
    "giflib 5.2.1-2.5+deb12u1 5.2.1 libgif-dev"
    "libwebp 1.2.4-0.2+deb12u1 1.2.4 libwebp-dev"
    "lcms2 2.14-2+deb12u1 2.14 liblcms2-dev"
)

halvex_cache=${XDG_CACHE_HOME:-$HOME/.cache}/halvex

library_say() { echo "libraries: $*" >&2; }

# The deb-src twins of the machine's deb entries, in both of apt's formats.
write_source_entries() { # parts-folder
    local parts=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] || continue
        sed -E 's/^Types:[[:space:]]*deb([[:space:]]|$).*/Types: deb-src/' "$file" \
            >"$parts/$(basename "$file")"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$file" ] || continue
        sed -n -E 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$file" >"$parts/$(basename "$file").list"
    done
}

# Downloads the source packages not yet in the cache and unpacks each with
# dpkg-source into $halvex_cache/sources/<package>_<version>/tree.
fetch_library_sources() {
    local entry package version upstream dev wanted=() folder
    for entry in "${HALVEX_LIBRARY_SOURCES[@]}"; do
        read -r package version upstream dev <<<"$entry"
        [ -f "$halvex_cache/sources/${package}_$version/tree/.unpacked" ] || wanted+=("$package=$version")
    done
    [ ${#wanted[@]} -eq 0 ] && return 0
    local apt_dir="$halvex_cache/apt"
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
    write_source_entries "$apt_dir/parts"
    local apt=(apt-get -q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/parts"
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
    [ "$(id -u)" -eq 0 ] && apt+=(-o APT::Sandbox::User=root)
    library_say "fetching Debian's source packages: ${wanted[*]}"
    if ! "${apt[@]}" update >"$apt_dir/update.log" 2>&1; then
        cat "$apt_dir/update.log" >&2
        library_say "apt-get update of the deb-src lists failed"
        return 1
    fi
    if ! (cd "$apt_dir/download" && "${apt[@]}" source --download-only "${wanted[@]}") \
        >"$apt_dir/source.log" 2>&1; then
        cat "$apt_dir/source.log" >&2
        library_say "Debian's source packages ${wanted[*]} could not be fetched from this machine's apt" \
            "sources; these exact versions are the decoders of record (see $halvex_libraries_script)"
        return 1
    fi
    for entry in "${HALVEX_LIBRARY_SOURCES[@]}"; do
        read -r package version upstream dev <<<"$entry"
        folder="$halvex_cache/sources/${package}_$version"
        [ -f "$folder/tree/.unpacked" ] && continue
        local dsc="$apt_dir/download/${package}_${version#*:}.dsc"
        local got
        got=$(sed -n 's/^Version: //p' "$dsc" 2>/dev/null)
        if [ "$got" != "$version" ] || [ "$(upstream_of "$got")" != "$upstream" ]; then
            library_say "$package: fetched version '${got:-none}', but $version ($upstream) is the one" \
                "the builds agree on; change HALVEX_LIBRARY_SOURCES in $halvex_libraries_script only" \
                "together with the Linux packages"
            return 1
        fi
        rm -rf "$folder"
        mkdir -p "$folder"
        if ! dpkg-source --no-check -x "$dsc" "$folder/tree" >"$folder/unpack.log" 2>&1; then
            cat "$folder/unpack.log" >&2
            library_say "dpkg-source could not unpack $dsc"
            return 1
        fi
        touch "$folder/tree/.unpacked"
    done
    rm -rf "$apt_dir"
}

upstream_of() { # Debian version -> upstream version without epoch, revision or repack mark
    local v=${1#*:}
    v=${v%-*}
    echo "${v%.dfsg}"
}

library_tree() { # package
    local entry package version rest
    for entry in "${HALVEX_LIBRARY_SOURCES[@]}"; do
        read -r package version rest <<<"$entry"
        [ "$package" = "$1" ] && echo "$halvex_cache/sources/${package}_$version/tree"
    done
}

# Compiles C files of one library into a static archive, two at a time.
# Uses library_cc, library_ar and library_cflags (arrays) of the target.
compile_archive() { # archive source-folder extra-flags-array-name file...
    local archive=$1 folder=$2
    local -n extra=$3
    shift 3
    local objects=() pids=() failed=0 file object
    local objdir="$library_build/$(basename "$archive" .a)"
    mkdir -p "$objdir"
    for file in "$@"; do
        object="$objdir/$(basename "$file" .c).o"
        "${library_cc[@]}" "${library_cflags[@]}" "${extra[@]}" -c "$folder/$file" -o "$object" &
        pids+=($!)
        objects+=("$object")
        if [ ${#pids[@]} -ge 2 ]; then
            wait "${pids[0]}" || failed=1
            pids=("${pids[@]:1}")
        fi
    done
    for file in "${pids[@]}"; do wait "$file" || failed=1; done
    [ "$failed" -eq 0 ] || return 1
    rm -f "$archive"
    "${library_ar[@]}" rcs "$archive" "${objects[@]}"
}

build_zlib() { # prefix
    local tree no_flags=()
    tree=$(library_tree zlib)
    # What libspng calls (inflate, and deflate for its writer), not gz*.
    compile_archive "$1/lib/libz.a" "$tree" no_flags adler32.c compress.c crc32.c deflate.c \
        infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c || return 1
    cp "$tree/zlib.h" "$tree/zconf.h" "$1/include/"
}

build_spng() { # prefix
    local tree flags=(-DSPNG_STATIC -DSPNG_DISABLE_OPT "-I$1/include")
    tree=$(library_tree libspng)
    # Debian builds it with enable_opt=false: the plain filters.
    compile_archive "$1/lib/libspng.a" "$tree/spng" flags spng.c || return 1
    cp "$tree/spng/spng.h" "$1/include/"
}

build_gif() { # prefix
    local tree no_flags=()
    tree=$(library_tree giflib)
    compile_archive "$1/lib/libgif.a" "$tree" no_flags dgif_lib.c egif_lib.c gifalloc.c gif_err.c \
        gif_font.c gif_hash.c openbsd-reallocarray.c quantize.c || return 1
    cp "$tree/gif_lib.h" "$1/include/"
}

build_lcms2() { # prefix
    local tree files=() file flags
    tree=$(library_tree lcms2)
    # Debian's pointer alignment; no threads in the web page.
    flags=("-I$tree/include" "-DCMS_PTR_ALIGNMENT=_Alignof(double)")
    [ "$library_target" = web ] && flags+=(-DCMS_NO_PTHREADS=1)
    for file in "$tree"/src/*.c; do files+=("$(basename "$file")"); done
    compile_archive "$1/lib/liblcms2.a" "$tree/src" flags "${files[@]}" || return 1
    cp "$tree/include/lcms2.h" "$tree/include/lcms2_plugin.h" "$1/include/"
}

# CMake projects: configured with the target's toolchain, release build.
library_cmake() { # source build cmake-arguments...
    local source=$1 build=$2
    shift 2
    "${library_cmake_prefix[@]}" cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        "-DCMAKE_C_FLAGS=${library_cflags[*]}" "${library_cmake_args[@]}" "$@"
}

build_jpeg() { # prefix
    local tree build="$library_build/jpeg" simd=1
    tree=$(library_tree libjpeg-turbo)
    # Arithmetic decoding is on by default (WITH_ARITH_DEC); the SIMD paths
    # decode to the same pixels as the plain C ones with the islow DCT.
    # emscripten has none, and its type-size checks misreport size_t.
    local extra=()
    if [ "$library_target" = web ]; then
        simd=0
        extra=(-DSIZE_T=4 -DUNSIGNED_LONG=4)
    fi
    library_cmake "$tree" "$build" -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 \
        -DWITH_ARITH_DEC=1 -DWITH_JPEG8=0 -DWITH_SIMD=$simd "-DCMAKE_INSTALL_PREFIX=$1" "${extra[@]}" &&
        cmake --build "$build" -j2 --target jpeg-static || return 1
    cp "$build/libjpeg.a" "$1/lib/"
    cp "$tree/jpeglib.h" "$tree/jmorecfg.h" "$tree/jerror.h" "$build/jconfig.h" "$1/include/"
}

# The decoding half of libwebp (libwebpdecoder: what the builds call, in
# half the compile time of the whole) and its demux library.
build_webp() { # prefix
    local tree build="$library_build/webp" simd=ON threads=ON
    tree=$(library_tree libwebp)
    [ "$library_target" = web ] && simd=OFF threads=OFF
    local off=()
    local tool
    for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO WEBPMUX EXTRAS LIBWEBPMUX; do
        off+=("-DWEBP_BUILD_$tool=OFF")
    done
    library_cmake "$tree" "$build" "${off[@]}" -DBUILD_SHARED_LIBS=OFF -DWEBP_ENABLE_SIMD=$simd \
        -DWEBP_USE_THREAD=$threads &&
        cmake --build "$build" -j2 --target webpdecoder || return 1
    local demux_flags=(-DHAVE_CONFIG_H "-I$build" "-I$tree")
    compile_archive "$1/lib/libwebpdemux.a" "$tree/src/demux" demux_flags demux.c anim_decode.c || return 1
    cp "$build/libwebpdecoder.a" "$1/lib/"
    mkdir -p "$1/include/webp"
    cp "$tree"/src/webp/{decode,demux,mux_types,types}.h "$1/include/webp/"
}

# Sets the compilers and flags of a target.
library_toolchain() { # target
    library_target=$1
    library_cmake_prefix=()
    case "$1" in
    win32)
        local cc=i686-w64-mingw32-gcc-posix
        command -v "$cc" >/dev/null || cc=i686-w64-mingw32-gcc
        library_cc=("$cc")
        library_ar=(i686-w64-mingw32-ar)
        # The project's SSE2 baseline on 32-bit x86 (see CMakeLists.txt).
        library_cflags=(-O2 -DNDEBUG -msse2 -mfpmath=sse -mstackrealign)
        library_cmake_args=("-DCMAKE_TOOLCHAIN_FILE=$halvex_libraries_root/cmake/toolchain-mingw-i686.cmake")
        library_compiler=$("$cc" --version | head -n 1)
        ;;
    web)
        export NODE_PATH=/usr/share/nodejs
        library_cc=(emcc)
        library_ar=(emar)
        library_cflags=(-O2 -DNDEBUG)
        library_cmake_prefix=(emcmake)
        library_cmake_args=()
        library_compiler=$(emcc --version 2>/dev/null | head -n 1)
        ;;
    *)
        library_say "unknown target '$1' (win32 or web)"
        return 2
        ;;
    esac
}

library_packages() { # target
    local packages=(dpkg-dev bzip2 xz-utils cmake ninja-build)
    case "$1" in
    win32) packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 nasm) ;;
    web) packages+=(emscripten) ;;
    esac
    ensure_packages "${packages[@]}"
}

# The Linux build links Debian's shared libraries; another upstream version
# there may decode differently from the static ones (Debian's own security
# revisions, such as zlib's, leave valid files' pixels alone).
warn_about_linux_versions() {
    local entry package version upstream dev installed
    for entry in "${HALVEX_LIBRARY_SOURCES[@]}"; do
        read -r package version upstream dev <<<"$entry"
        installed=$(dpkg-query -W -f='${Version}' "$dev" 2>/dev/null) || continue
        [ -z "$installed" ] || [ "$(upstream_of "$installed")" = "$upstream" ] ||
            library_say "warning: $dev $installed is installed, the other builds use $version"
    done
}

build_libraries() { # target
    local target=${1:-}
    [ "$target" = win32 ] || [ "$target" = web ] || {
        library_say "usage: build_libraries win32|web"
        return 2
    }
    library_packages "$target" || return 1
    library_toolchain "$target" || return 1
    local key
    key=$({ cat "$halvex_libraries_script" "$halvex_libraries_root/cmake/toolchain-mingw-i686.cmake"
        echo "$target $library_compiler"; } | sha256sum | cut -c1-16)
    local prefix="$halvex_cache/libraries/$target-$key"
    mkdir -p "$halvex_cache/libraries"
    (
        # One builder per target at a time; the others wait and then find the result.
        flock 9
        [ -f "$prefix/.complete" ] && exit 0
        warn_about_linux_versions
        { flock 8 && fetch_library_sources; } 8>"$halvex_cache/sources.lock" || exit 1
        local started=$SECONDS part="$prefix.part"
        library_build=$(mktemp -d "$halvex_cache/libraries/build-$target.XXXXXX")
        trap 'rm -rf "$library_build"' EXIT
        rm -rf "$part"
        mkdir -p "$part/lib" "$part/include"
        library_say "building the $target decoders into $prefix"
        local step
        for step in build_zlib build_spng build_jpeg build_gif build_webp build_lcms2; do
            local step_started=$SECONDS
            if ! "$step" "$part" >"$library_build/$step.log" 2>&1; then
                tail -n 40 "$library_build/$step.log" >&2
                library_say "$step failed for $target"
                exit 1
            fi
            library_say "$step: $((SECONDS - step_started)) s"
        done
        printf '%s\n' "$library_compiler" "${HALVEX_LIBRARY_SOURCES[@]}" >"$part/VERSIONS"
        touch "$part/.complete"
        rm -rf "$prefix"
        mv "$part" "$prefix"
        library_say "built the $target decoders in $((SECONDS - started)) s"
    ) 9>"$halvex_cache/libraries/$target.lock" || return 1
    # The fixed place the presets look in.
    mkdir -p "$halvex_libraries_root/build/libraries"
    ln -sfn "$prefix" "$halvex_libraries_root/build/libraries/$target"
    export HALVEX_LIBRARY_PREFIX="$prefix"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    build_libraries "${1:-}" || exit 1
    echo "$HALVEX_LIBRARY_PREFIX"
fi
