#!/usr/bin/env bash
# Builds the Qt the Windows station is built with, once, into a cache folder
# outside every build tree (default ~/.cache/station/qt-6.4.2-mingw; the
# STATION_WIN_QT environment variable overrides it):
#   qtbase 6.4.2 (Core, Network, Sql with SQLite, Gui, Widgets, OpenGL,
#   Concurrent, Test) from Debian's qt6-base source, SQLite from Debian's
#   sqlite3 source, Qt Serial Port and Qt Charts 6.4.2 from the vendor folder
#   beside the checkout, cross-compiled with MinGW-w64 and Debian's own Qt
#   6.4.2 host tools (moc, rcc, uic ...).
# The source archives stay in the cache folder; a stamp file in the Qt folder
# holds their SHA-256 sums (and the toolchain and build options). A later run
# whose sums and options match reuses the build and takes a second.
#
#   scripts/windows/build-qt.sh [--check]
#     --check: exit 0 when the cached Qt is there and current, 1 otherwise
#              (builds nothing, downloads nothing).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
PREFIX="${STATION_WIN_QT:-$HOME/.cache/station/qt-6.4.2-mingw}"
WORK="${PREFIX}.work"
VENDOR="${STATION_VENDOR_DIR:-$ROOT/../shared/vendor}"
JOBS="${STATION_JOBS:-$(nproc 2>/dev/null || echo 2)}"
QT_VERSION=6.4.2
# Bumped whenever the options below change: a stamp of another revision is
# stale.
BUILD_REVISION=1
TRIPLET=x86_64-w64-mingw32
TOOLCHAIN="$HERE/mingw-toolchain.cmake"
STAMP="$PREFIX/station-qt.stamp"

say() { printf '[windows-qt] %s\n' "$*"; }

vendor_archives() {
    printf '%s\n' "$VENDOR/qtserialport-everywhere-src-$QT_VERSION.tar.xz" \
        "$VENDOR/qtcharts-everywhere-src-$QT_VERSION.tar.xz"
}

# The stamp: every source archive's sum, the compiler, the options.
stamp_text() {
    echo "revision $BUILD_REVISION"
    echo "compiler $("$TRIPLET-g++-posix" -dumpfullversion 2>/dev/null || echo none)"
    echo "host-qt $(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || echo none)"
    (cd "$WORK/sources" && sha256sum -- *.dsc *.tar.* | sort -k2)
    local archive
    while read -r archive; do
        (cd "$(dirname "$archive")" && sha256sum -- "$(basename "$archive")")
    done < <(vendor_archives)
}

cache_is_current() {
    [ -f "$STAMP" ] && [ -d "$WORK/sources" ] || return 1
    [ "$(stamp_text 2>/dev/null)" = "$(cat "$STAMP")" ]
}

if [ "${1:-}" = "--check" ]; then
    cache_is_current
    exit
fi

if [ ! -f "$VENDOR/SHA256SUMS" ]; then
    say "no vendor folder with Qt Serial Port and Qt Charts at $VENDOR"
    exit 3
fi
(cd "$VENDOR" && sha256sum --quiet -c SHA256SUMS) || { say "vendor archives do not match $VENDOR/SHA256SUMS"; exit 1; }

# One build of the folder at a time: a second waits for the first and then
# reuses what it built.
mkdir -p "$(dirname "$PREFIX")"
exec 8>"$PREFIX.lock"
if ! flock -n 8; then
    say "another build of $PREFIX is running: waiting for it"
    flock 8
fi
if cache_is_current; then
    say "reusing $PREFIX (source checksums match $STAMP)"
    exit 0
fi

started=$SECONDS
mkdir -p "$WORK/sources"

# Debian's sources through a private apt configuration under the cache
# folder: the machine's own sources list and package lists stay as they are.
fetch_debian_sources() {
    local apt="$WORK/apt" uri
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"
    : >"$apt/sources.list"
    for suite in bookworm bookworm-updates; do
        echo "deb-src http://deb.debian.org/debian $suite main" >>"$apt/sources.list"
    done
    echo "deb-src http://deb.debian.org/debian-security bookworm-security main" >>"$apt/sources.list"
    local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
    apt-get "${opts[@]}" -q update
    # The host tools' own version of qtbase: moc and rcc must match it.
    local host
    host="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)"
    (cd "$WORK/sources" && apt-get "${opts[@]}" -q source --download-only "qt6-base=$host" sqlite3)
}
if ! ls "$WORK/sources"/qt6-base_*.dsc >/dev/null 2>&1 || ! ls "$WORK/sources"/sqlite3_*.dsc >/dev/null 2>&1; then
    say "fetching the qt6-base and sqlite3 sources"
    fetch_debian_sources
fi

export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
export CCACHE_BASEDIR="$WORK"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# An interrupted build of the same sources and options goes on where it
# stopped (ccache has the rest); anything else starts from fresh source
# trees: Debian's patches applied by dpkg-source, SQLite's single-file
# source generated from Debian's sqlite3 tree (qtbase's SQLite driver
# compiles it in; Debian's qtbase leaves its own copy out).
if [ -f "$WORK/build/station-configured.stamp" ] &&
    [ "$(cat "$WORK/build/station-configured.stamp")" = "$(stamp_text)" ]; then
    say "going on with the interrupted build in $WORK/build"
    resume=1
else
    resume=0
fi
[ "$resume" = 1 ] || rm -rf "$WORK/src" "$WORK/build"
rm -rf "$PREFIX"
mkdir -p "$WORK/src" "$WORK/build" "$PREFIX"
# Qt's own toolchain file (qt-cmake) chains to this one: a copy in the Qt
# folder, so that the cache does not depend on where the checkout is.
cp "$TOOLCHAIN" "$PREFIX/station-mingw-toolchain.cmake"
TOOLCHAIN="$PREFIX/station-mingw-toolchain.cmake"
if [ "$resume" = 0 ]; then
    say "unpacking the sources"
    (cd "$WORK/src" && dpkg-source --no-check -x "$WORK"/sources/qt6-base_*.dsc qtbase >/dev/null)
    (cd "$WORK/src" && dpkg-source --no-check -x "$WORK"/sources/sqlite3_*.dsc sqlite3 >/dev/null)
    tar -C "$WORK/src" -xJf "$VENDOR/qtserialport-everywhere-src-$QT_VERSION.tar.xz"
    tar -C "$WORK/src" -xJf "$VENDOR/qtcharts-everywhere-src-$QT_VERSION.tar.xz"

    say "generating sqlite3.c"
    mkdir -p "$WORK/build/sqlite3"
    (cd "$WORK/build/sqlite3" && "$WORK/src/sqlite3/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
    mkdir -p "$WORK/src/qtbase/src/3rdparty/sqlite"
    cp "$WORK/build/sqlite3/sqlite3.c" "$WORK/build/sqlite3/sqlite3.h" "$WORK/src/qtbase/src/3rdparty/sqlite/"
fi

say "configuring qtbase for $TRIPLET"
# OpenGL stays on (desktop): the Windows platform plugin of this release
# does not compile without it. Debian's source lacks wintab.h: no tablet
# events. Everything the station does not use is off.
cmake -S "$WORK/src/qtbase" -B "$WORK/build/qtbase" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" "${launcher[@]}" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON \
    -DFEATURE_system_sqlite=OFF -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF \
    -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_icu=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
    -DINPUT_opengl=desktop \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_libb2=OFF
stamp_text >"$WORK/build/station-configured.stamp"
say "building qtbase"
cmake --build "$WORK/build/qtbase" -j "$JOBS"
cmake --install "$WORK/build/qtbase" >/dev/null

for module in qtserialport qtcharts; do
    say "building $module"
    "$PREFIX/bin/qt-cmake" -S "$WORK/src/$module-everywhere-src-$QT_VERSION" -B "$WORK/build/$module" \
        -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    cmake --build "$WORK/build/$module" -j "$JOBS"
    cmake --install "$WORK/build/$module" >/dev/null
done

# The sources and the stamp stay; the build trees are large and not needed.
rm -rf "$WORK/build" "$WORK/src"
stamp_text >"$STAMP"
took=$((SECONDS - started))
printf '%d\n' "$took" >"$PREFIX/station-qt.seconds"
say "built $PREFIX in $((took / 60)) min $((took % 60)) s"
