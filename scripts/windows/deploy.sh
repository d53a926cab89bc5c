#!/usr/bin/env bash
# Lays the DLLs a Windows station needs beside its programs, as on a station
# PC: each .exe and each port module finds its DLLs in its own folder.
#   scripts/windows/deploy.sh STATION_DIR QT_PREFIX
# Benchmate, benchrun and benchreport (STATION_DIR) get Qt's DLLs, the
# platform plugin (platforms/qwindows.dll), the window style and the SQLite
# driver (sqldrivers/qsqlite.dll); Chipctl (STATION_DIR/config/CHIPCTL) and
# its port modules get theirs. Every folder gets the MinGW runtime the
# programs link (libstdc++, libgcc_s, winpthread). Which DLLs: those the
# programs and plugins import, followed to the end, as Windows resolves
# them.
set -euo pipefail
shopt -s nullglob
STATION="$1"
QT="$2"
TRIPLET=x86_64-w64-mingw32
OBJDUMP="$TRIPLET-objdump"
# Where a DLL the programs import may come from: the cross-built Qt, the
# MinGW compiler's runtime, the MinGW system libraries.
search_dirs=("$QT/bin")
gcc_runtime="$(dirname "$("$TRIPLET-g++-posix" -print-file-name=libstdc++-6.dll)")"
search_dirs+=("$gcc_runtime" "/usr/$TRIPLET/lib" "/usr/$TRIPLET/bin")

find_dll() {
    local dir
    for dir in "${search_dirs[@]}"; do
        [ -f "$dir/$1" ] && { echo "$dir/$1"; return 0; }
    done
    return 1
}

imports() {
    "$OBJDUMP" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

# deploy_into DIR FILE...: copies into DIR every DLL the files import that is
# not part of Windows itself, and the DLLs those import.
deploy_into() {
    local dir="$1"; shift
    local queue=("$@") seen=" " file dll found
    while [ "${#queue[@]}" -gt 0 ]; do
        file="${queue[0]}"
        queue=("${queue[@]:1}")
        while read -r dll; do
            case "$seen" in *" ${dll,,} "*) continue ;; esac
            seen+="${dll,,} "
            found="$(find_dll "$dll")" || continue # a Windows system DLL
            cp -f "$found" "$dir/"
            queue+=("$found")
        done < <(imports "$file")
    done
}

mkdir -p "$STATION/platforms" "$STATION/sqldrivers" "$STATION/styles"
cp -f "$QT/plugins/platforms/qwindows.dll" "$STATION/platforms/"
cp -f "$QT/plugins/sqldrivers/qsqlite.dll" "$STATION/sqldrivers/"
styles=("$QT"/plugins/styles/*.dll)
[ "${#styles[@]}" -eq 0 ] || cp -f "${styles[@]}" "$STATION/styles/"
deploy_into "$STATION" "$STATION"/*.exe "$STATION"/platforms/*.dll "$STATION"/sqldrivers/*.dll \
    "$STATION"/styles/*.dll
deploy_into "$STATION/config/CHIPCTL" "$STATION"/config/CHIPCTL/*.exe "$STATION"/config/CHIPCTL/*.dll
