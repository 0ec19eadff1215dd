#!/usr/bin/env bash
# Cross-builds Quorvane, its tests and the benchmark for 64-bit Windows with mingw-w64, puts the
# runtime DLLs and Qt plugins beside the executables, and runs every test under wine64, headless.
# Usage: scripts/windows.sh [QT_ARCHIVE]   (default: ../shared/windows/qt-6.4.2-mingw64.tar.xz)
# Leaves build-windows/Quorvane/, the folder a Windows user unpacks and runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
archive=${1:-$root/../shared/windows/qt-6.4.2-mingw64.tar.xz}
toolchain=$(dirname "$archive")/mingw-w64.cmake
qt_dir=$root/build-windows-qt
build=$root/build-windows
bin=$build/bin
app=$build/Quorvane
started=$SECONDS

bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 xz-utils zip

# Unpacked once; again only when the archive changes.
stamp=$qt_dir/.unpacked-from
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$(stat -c '%n %s %Y' "$archive")" ]; then
    echo "== Unpacking $(basename "$archive")"
    rm -rf "$qt_dir"
    mkdir -p "$qt_dir"
    tar -C "$qt_dir" -xf "$archive"
    stat -c '%n %s %Y' "$archive" >"$stamp"
fi
qt=$qt_dir/qt-win

echo "== Building for Windows"
mkdir -p "$build"
"$qt/bin/qt-cmake" -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQUORVANE_WERROR=ON -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$bin" >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2

# windeployqt does not run on Linux: follow each executable's DLL imports instead and copy every
# DLL found in Qt or the mingw runtime; the rest (KERNEL32.dll and the like) come with Windows.
dll_dirs=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
    /usr/x86_64-w64-mingw32/lib)
find_dll() {
    local dir
    for dir in "${dll_dirs[@]}"; do
        local found
        found=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit)
        if [ -n "$found" ]; then
            echo "$found"
            return
        fi
    done
}
# Copies the DLLs that the given files need, and theirs, into the folder $1.
deploy_imports() {
    local target=$1
    shift
    local queue=("$@") file dll source
    while [ ${#queue[@]} -gt 0 ]; do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        for dll in $(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}'); do
            [ -e "$target/$dll" ] && continue
            source=$(find_dll "$dll")
            [ -z "$source" ] && continue
            # Debian's MinGW runtime carries debugging symbols: leave them out.
            x86_64-w64-mingw32-strip --strip-unneeded -o "$target/$dll" "$source"
            queue+=("$target/$dll")
        done
    done
}
# The platform plugins (windows for users, offscreen for the tests) and the native style.
deploy_plugins() {
    local target=$1
    shift
    local plugin
    for plugin in "$@"; do
        mkdir -p "$target/$(dirname "$plugin")"
        x86_64-w64-mingw32-strip --strip-unneeded -o "$target/$plugin" "$qt/plugins/$plugin"
        deploy_imports "$target" "$target/$plugin"
    done
}

# The icon plugin reads the optional pointer file.
deploy_plugins "$bin" platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll \
    imageformats/qico.dll
deploy_imports "$bin" "$bin"/*.exe

rm -rf "$app"
mkdir -p "$app"
cp "$bin/quorvane.exe" "$bin/quorvane-cli.exe" "$app/"
deploy_plugins "$app" platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll
deploy_imports "$app" "$app/quorvane.exe" "$app/quorvane-cli.exe"
echo "Folder for Windows users: $app ($(du -sh "$app" | cut -f1), $(find "$app" -type f | wc -l) files)"
if command -v zip >/dev/null; then
    rm -f "$build/Quorvane.zip"
    (cd "$build" && zip -qr Quorvane.zip Quorvane)
    echo "Packed: $build/Quorvane.zip ($(du -sh "$build/Quorvane.zip" | cut -f1))"
fi

echo "== Tests under wine64"
# The prefix's ANSI code page follows the locale: C.UTF-8 gives Windows-1252.
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
mkdir -p "$build/results"
# Wine does not pass QT_* variables from Linux on to Windows programs: set it in the prefix.
/usr/lib/wine/wine64 reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
failed=0
for test in "$bin"/tst_*.exe; do
    name=$(basename "$test" .exe)
    result=$build/results/$name.txt
    rm -f "$result"
    # Qt Test's console output does not reach the terminal under Wine: it goes to a file.
    if (cd "$bin" && timeout 600 /usr/lib/wine/wine64 "$test" -o "$result,txt" </dev/null \
        >"$build/results/$name.log" 2>&1); then
        echo "PASS  $name: $(grep -E '^Totals:' "$result" || echo 'no totals')"
    else
        failed=1
        echo "FAIL  $name"
        if [ -f "$result" ]; then
            grep -E '^(FAIL|XPASS|QFATAL)|^ +Loc|^ +Actual|^ +Expected|^Totals:' "$result" \
                | head -n 80 || true
        else
            cat "$build/results/$name.log"
        fi
    fi
done
# The program itself, from a copy of the users' folder with the headless platform added: it must
# start and keep its window up.
smoke=$build/smoke
rm -rf "$smoke"
cp -r "$app" "$smoke"
deploy_plugins "$smoke" platforms/qoffscreen.dll
(cd "$smoke" && timeout 10 /usr/lib/wine/wine64 "$smoke/quorvane.exe" >"$build/results/quorvane.log" 2>&1) \
    && status=0 || status=$?
if [ "$status" -eq 124 ]; then
    echo "PASS  quorvane.exe started and was still running after 10 s"
else
    failed=1
    echo "FAIL  quorvane.exe ended with status $status:"
    cat "$build/results/quorvane.log"
fi
# The command line, through drive-letter paths: a file of Windows-1252 text (every byte from 0x80
# up), less an empty list, comes back byte for byte.
cli=$build/cli-check
rm -rf "$cli"
mkdir -p "$cli"
{
    printf 'caf\xe9 \x80 na\xefve\r\n'
    for byte in $(seq 128 255); do printf "\\x$(printf %x "$byte")"; done
    printf '\r\n'
} >"$cli/in.txt"
: >"$cli/empty.txt"
windows_path() { echo "Z:${1//\//\\}"; }
(cd "$smoke" && timeout 60 /usr/lib/wine/wine64 "$smoke/quorvane-cli.exe" subtract --crlf \
    -o "$(windows_path "$cli/out.txt")" "$(windows_path "$cli/in.txt")" \
    "$(windows_path "$cli/empty.txt")" >"$build/results/cli.log" 2>&1) && status=0 || status=$?
if [ "$status" -eq 0 ] && cmp -s "$cli/in.txt" "$cli/out.txt"; then
    echo "PASS  quorvane-cli.exe subtract gave back a Windows-1252 file byte for byte"
else
    failed=1
    echo "FAIL  quorvane-cli.exe subtract on a Windows-1252 file (status $status):"
    cat "$build/results/cli.log"
    cmp "$cli/in.txt" "$cli/out.txt" || true
fi
# The console twin must be a console program (subsystem 3), the window program not.
subsystem() { x86_64-w64-mingw32-objdump -p "$1" | awk '/^Subsystem/ {print $2}'; }
if [ "$(subsystem "$app/quorvane-cli.exe")" = 00000003 ] \
    && [ "$(subsystem "$app/quorvane.exe")" = 00000002 ]; then
    echo "PASS  quorvane-cli.exe is a console program, quorvane.exe a window program"
else
    failed=1
    echo "FAIL  subsystems: quorvane-cli.exe $(subsystem "$app/quorvane-cli.exe")," \
        "quorvane.exe $(subsystem "$app/quorvane.exe")"
fi
/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "Windows build and tests took $((SECONDS - started)) s"
exit "$failed"
