#!/usr/bin/env bash
# Cross-builds Quorvane, its tests and the benchmark for 64-bit Windows with mingw-w64, puts the
# runtime DLLs and Qt plugins beside the executables, and runs every test under wine64, headless;
# then builds the installer and installs, runs and uninstalls it in a fresh Wine prefix.
# Usage: scripts/windows.sh [QT_ARCHIVE]   (default: ../shared/windows/qt-6.4.2-mingw64.tar.xz)
# Leaves build-windows/Quorvane/, the folder a Windows user unpacks and runs (also packed as
# Quorvane.zip), and build-windows/Quorvane-<version>-win64.exe, the installer.
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

bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 xz-utils zip nsis

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
    -DQUORVANE_WERROR=ON -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$bin" \
    -DQUORVANE_WINDOWS_RUNTIME_DIR="$app" >"$build/configure.log" 2>&1 \
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
# The installer: the programs from the build, the rest of the users' folder beside them.
rm -f "$build"/Quorvane-*-win64.exe
(cd "$build" && cpack -G NSIS >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
installer=$(echo "$build"/Quorvane-*-win64.exe)
echo "Installer: $installer ($(stat -c %s "$installer") bytes, $(du -h "$installer" | cut -f1))"

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

echo "== The installer under wine64, in a fresh Wine prefix"
# The uninstaller deletes its own keys under Software\Kelvarn, never the one with the settings.
if grep -inE 'DeleteReg(Key|Value)[^"]*"Software\\+Kelvarn(\\+Quorvane)?"' \
    "$build/_CPack_Packages/win64/NSIS/project.nsi" resources/windows/quorvane.nsh; then
    failed=1
    echo "FAIL  the uninstaller would delete Software\\Kelvarn\\Quorvane, the user's settings"
fi
fresh=$(mktemp -d)
trap 'WINEPREFIX=$fresh/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$fresh"' EXIT
fresh_env=(env "WINEPREFIX=$fresh/prefix")
fresh_wine() { "${fresh_env[@]}" /usr/lib/wine/wine64 "$@"; }
# Until every program in the prefix has ended (an uninstaller goes on in a copy of itself).
fresh_wait() { WINEPREFIX=$fresh/prefix /usr/lib/wine/wineserver -w; }
drive_c=$fresh/prefix/drive_c
check() {
    local name=$1
    shift
    if "$@"; then
        echo "PASS  $name"
    else
        failed=1
        echo "FAIL  $name"
    fi
}
same() {
    [ "$1" = "$2" ] && return
    echo "      expected: ${2:0:200}…${2: -100}"
    echo "      actual:   ${1:0:200}…${1: -100}"
    false
}
# The data of value $2 of key $1 (the default value when $2 is empty), as reg prints it.
reg_value() {
    local which=(/v "$2")
    [ -z "$2" ] && which=(/ve)
    { fresh_wine reg query "$1" "${which[@]}" 2>/dev/null || true; } | tr -d '\r' \
        | sed -n -e 's/^    .*    REG_[A-Z_]*    //p' -e 's/^    .*    REG_[A-Z_]*$//p'
}
reg_has() { fresh_wine reg query "$@" >/dev/null 2>&1; }
reg_lacks() { ! reg_has "$@"; }

environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane Setup'
classes='HKLM\Software\Classes'
progid=Kelvarn.Quorvane.List
application="$classes\\Applications\\quorvane.exe"
settings='HKCU\Software\Kelvarn\Quorvane'
installed="$drive_c/Program Files/Quorvane"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
# The first command makes the prefix. The installed window program takes the headless platform
# plugin from outside the installation, which stays as installed.
fresh_wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
fresh_wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM_PLUGIN_PATH \
    /d "$(windows_path "$smoke/platforms")" /f >/dev/null
# A setting as the window stores it (match case cleared), which uninstalling must keep.
fresh_wine reg add "$settings" /v Check1 /d 0 /f >/dev/null
# A PATH longer than NSIS strings hold (1,024 or 8,192 characters), with an entry that starts as
# the installation's does, so that a cut or a sloppy removal shows.
long_path="$(reg_value "$environment" PATH);C:\\Program Files\\Quorvane\\binaries"
for i in $(seq -w 1 300); do long_path+=";C:\\Program Files\\Example Tool $i\\bin"; done
fresh_wine reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null
check "a PATH of ${#long_path} characters to start with" \
    same "$(reg_value "$environment" PATH)" "$long_path"
# The file types' own programs, which the installer must leave alone.
fresh_wine reg add "$classes\\.txt" /ve /d txtfile /f >/dev/null
fresh_wine reg add "$classes\\.csv" /ve /d Excel.CSV /f >/dev/null
defaults() { echo "$(reg_value "$classes\\.txt" "") $(reg_value "$classes\\.csv" "")"; }

# A first installation elsewhere, with the PATH entry; then a silent installation into the
# default folder without /ADDTOPATH replaces it, and its PATH entry with its own.
fresh_wine "$installer" /S /ADDTOPATH '/D=C:\Quorvane-old'
fresh_wait
check "installed into C:\\Quorvane-old with /ADDTOPATH" \
    test -f "$drive_c/Quorvane-old/bin/quorvane.exe"
check "PATH: the long PATH, then C:\\Quorvane-old\\bin" \
    same "$(reg_value "$environment" PATH)" "$long_path;C:\\Quorvane-old\\bin"
fresh_wine "$installer" /S
fresh_wait
check "installing again removed the installation in C:\\Quorvane-old" \
    test ! -e "$drive_c/Quorvane-old"
check "installed: both programs, Qt, plugins, uninstaller" test -f "$installed/bin/quorvane.exe" \
    -a -f "$installed/bin/quorvane-cli.exe" -a -f "$installed/bin/Qt6Widgets.dll" \
    -a -f "$installed/bin/platforms/qwindows.dll" -a -f "$installed/Uninstall.exe"
shortcut=$(find "$drive_c" -path '*/Start Menu/Programs/Quorvane/Quorvane.lnk')
check "Start menu shortcut" test -n "$shortcut"
check "PATH: the long PATH, then the installation's bin" \
    same "$(reg_value "$environment" PATH)" "$long_path;C:\\Program Files\\Quorvane\\bin"
entry=$({ fresh_wine reg query "$uninstall" 2>/dev/null || true; } | tr -d '\r')
entry_value() { sed -n "s/^    $1    REG_[A-Z_]*    //p" <<<"$entry"; }
for name in DisplayName DisplayVersion Publisher DisplayIcon UninstallString \
    QuietUninstallString InstallLocation EstimatedSize; do
    echo "      $name: $(entry_value "$name")"
done
check "uninstall entry" test "$(entry_value DisplayName)" = Quorvane \
    -a "$(entry_value DisplayVersion)" = "$version" -a "$(entry_value Publisher)" = Kelvarn \
    -a "$(entry_value DisplayIcon)" = 'C:\Program Files\Quorvane\bin\quorvane.exe' \
    -a "$(entry_value UninstallString)" = '"C:\Program Files\Quorvane\Uninstall.exe"' \
    -a "$(entry_value QuietUninstallString)" = '"C:\Program Files\Quorvane\Uninstall.exe" /S' \
    -a "$(entry_value InstallLocation)" = 'C:\Program Files\Quorvane' \
    -a "$(entry_value NoModify)" = 0x1 -a "$(entry_value NoRepair)" = 0x1 \
    -a "$(($(entry_value EstimatedSize)))" -gt 1000
open='"C:\Program Files\Quorvane\bin\quorvane.exe" "%1"'
for type in .txt .csv; do
    check "Open with: $type lists Quorvane among its programs" \
        reg_has "$classes\\$type\\OpenWithProgids" /v $progid
    check "Open with: Quorvane lists $type" reg_has "$application\\SupportedTypes" /v $type
done
check "Open with: the types' default programs unchanged" same "$(defaults)" "txtfile Excel.CSV"
app_path='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\quorvane.exe'
check "Run (Win+R) finds quorvane" \
    same "$(reg_value "$app_path" "")" 'C:\Program Files\Quorvane\bin\quorvane.exe'
for key in "$classes\\$progid" "$application"; do
    check "Open with: ${key##*\\} opens files in one window" \
        test "$(reg_value "$key\\shell\\open\\command" "")" = "$open" \
        -a "$(reg_value "$key\\shell\\open" MultiSelectModel)" = Player
done

# The installed programs, as installed.
(cd "$fresh" && timeout 10 "${fresh_env[@]}" /usr/lib/wine/wine64 "$installed/bin/quorvane.exe" \
    >"$build/results/installed.log" 2>&1) && status=0 || status=$?
check "the installed quorvane.exe started and was still running after 10 s" test "$status" -eq 124
printf 'big.txt\r\ndone.txt\r\nrest.txt\r\n' >"$fresh/a.txt"
printf 'done.txt\n' >"$fresh/b.txt"
(cd "$fresh" && timeout 60 "${fresh_env[@]}" /usr/lib/wine/wine64 \
    "$installed/bin/quorvane-cli.exe" subtract a.txt b.txt >out.txt 2>&1) && status=0 || status=$?
subtracted() {
    same "status $status: $(od -c "$fresh/out.txt")" \
        "status 0: $(printf 'big.txt\r\nrest.txt\r\n' | od -c)"
}
check "the installed quorvane-cli.exe subtract a.txt b.txt" subtracted

# Uninstalled as Windows' settings do it, quietly.
fresh_wine "$installed/Uninstall.exe" /S
fresh_wait
left=$(find "$installed" "$drive_c/Quorvane-old" 2>/dev/null || true)
check "uninstalled: no file left" test -z "$left"
[ -z "$left" ] || echo "$left"
check "uninstalled: no Start menu entry" test ! -e "$shortcut" -a ! -e "$(dirname "$shortcut")"
check "uninstalled: the PATH as it was" same "$(reg_value "$environment" PATH)" "$long_path"
check "uninstalled: no uninstall entry" reg_lacks "$uninstall"
for type in .txt .csv; do
    check "uninstalled: $type does not list Quorvane" \
        reg_lacks "$classes\\$type\\OpenWithProgids" /v $progid
done
check "uninstalled: no ProgID" reg_lacks "$classes\\$progid"
check "uninstalled: no Applications\\quorvane.exe" reg_lacks "$application"
check "uninstalled: no App Paths entry" reg_lacks "$app_path"
check "uninstalled: the types' default programs unchanged" same "$(defaults)" "txtfile Excel.CSV"
check "uninstalled: the user's settings kept" same "$(reg_value "$settings" Check1)" 0
WINEPREFIX=$fresh/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "Windows build and tests took $((SECONDS - started)) s"
exit "$failed"
