#!/usr/bin/env bash
# Checks what a user installs: validates the desktop entry and the AppStream metainfo, builds the
# Debian package, installs it with apt-get, runs the installed program, and removes the package.
#
#     bash scripts/check-package.sh [build-dir]    # build-release (Release) unless given
#
# A build folder that is configured already is reused as it is (CI passes the test build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
id=example.kelvarn.Quorvane
bash scripts/install-deps.sh dpkg-dev file desktop-file-utils appstream

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Desktop entry and metainfo"
# desktop-file-validate fails on errors only; a warning counts as a failure here.
report=$(desktop-file-validate "resources/$id.desktop" 2>&1) || true
if [[ -n $report ]]; then
    echo "$report"
    exit 1
fi
appstreamcli validate --no-net "resources/$id.metainfo.xml"

echo "== Install tree and Debian package"
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF
fi
cmake --build "$build" --target quorvane
DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
# The installed files together: the metainfo finds its desktop entry and icons.
appstreamcli validate-tree --no-net "$work/stage"
rm -f "$build"/quorvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$build"/quorvane_*.deb)
dpkg-deb --field "$deb" Package Version Depends

echo "== Installing $deb"
lock=(-o DPkg::Lock::Timeout=600)
# dpkg's progress counter is one long line of carriage returns; it is left out.
quiet() { tr '\r' '\n' | grep -v -e '^(Reading database' -e '^$' || true; }
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" install -y -qq \
    --no-install-recommends "$(realpath "$deb")" 2>&1 | quiet
status=0
installed=$(command -v quorvane || true)
if [[ $installed != /usr/bin/quorvane ]]; then
    echo "quorvane is not on the path at /usr/bin after installing (found: '$installed')"
    status=1
else
    /usr/bin/quorvane --version
    printf 'a.txt\r\nb.txt\r\nc.txt\r\n' >"$work/big.txt"
    printf 'b.txt\n' >"$work/done.txt"
    (cd "$work" && /usr/bin/quorvane subtract big.txt done.txt >rest.txt) || status=1
    if [[ $(cat "$work/rest.txt") != $'a.txt\nc.txt' ]]; then
        echo "the installed quorvane subtracted wrongly: $(od -c "$work/rest.txt")"
        status=1
    fi
    for file in /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
        /usr/share/icons/hicolor/{32x32,48x48,128x128,256x256}/apps/$id.png \
        /usr/share/man/man1/quorvane.1; do
        [[ -f $file ]] || { echo "missing after install: $file"; status=1; }
    done
fi

echo "== Removing the package"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" remove -y -qq quorvane 2>&1 | quiet
if [[ -e /usr/bin/quorvane ]]; then
    echo "/usr/bin/quorvane is still there after removing the package"
    status=1
fi
[[ $status == 0 ]] && echo "Package check passed"
exit $status
