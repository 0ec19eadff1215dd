#!/usr/bin/env bash
# Checks what a user installs: validates the desktop entry and the AppStream metainfo, builds the
# Debian package, checks it with lintian, installs it with apt-get, runs the installed program,
# and removes the package.
#
#     bash scripts/check-package.sh [build-dir]    # build-release (Release) unless given
#
# A build folder that is configured already is reused as it is (CI passes the test build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
id=example.kelvarn.Quorvane
bash scripts/install-deps.sh dpkg-dev file desktop-file-utils appstream lintian

# Lintian's warnings that stay, one "TAG REASON" each; any other warning, and any error, fails.
lintian_accepted=(
)

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

echo "== lintian"
# Its findings go to stdout; its status tells only whether it could check the package at all.
if ! lintian --fail-on none --no-tag-display-limit "$deb" >"$work/lintian.txt" \
    2>"$work/lintian-errors.txt"; then
    cat "$work/lintian.txt" "$work/lintian-errors.txt"
    echo "lintian could not check $deb"
    exit 1
fi
findings=$(grep -E '^[EW]: ' "$work/lintian.txt" || true)
for tag in "${lintian_accepted[@]}"; do
    findings=$(grep -vE "^W: [^ ]+: ${tag%% *}( |$)" <<<"$findings" || true)
done
if [[ -n $findings ]]; then
    echo "$findings"
    echo "lintian: the errors or warnings above are new: fix them, or accept a warning with its"
    echo "reason in lintian_accepted in $0"
    exit 1
fi
echo "lintian: no errors, no warnings beyond the ${#lintian_accepted[@]} accepted"
if dpkg-deb --contents "$deb" | grep -q mimeapps.list; then
    echo "the package holds a mimeapps.list: it must not make Quorvane anyone's default program"
    exit 1
fi

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
        /usr/share/man/man1/quorvane.1.gz /usr/share/bash-completion/completions/quorvane \
        /usr/share/doc/quorvane/copyright /usr/share/doc/quorvane/changelog.gz; do
        [[ -f $file ]] || { echo "missing after install: $file"; status=1; }
    done
    # The changelog's latest entry is the package's version.
    version=$(dpkg-deb --field "$deb" Version)
    latest=$( (gzip -dc /usr/share/doc/quorvane/changelog.gz || true) \
        | sed -n '1s/^quorvane (\(.*\)).*/\1/p')
    if [[ $latest != "$version" ]]; then
        echo "resources/debian/changelog's latest entry is '$latest', the package is $version"
        status=1
    fi
fi

echo "== Removing the package"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" remove -y -qq quorvane 2>&1 | quiet
if [[ -e /usr/bin/quorvane ]]; then
    echo "/usr/bin/quorvane is still there after removing the package"
    status=1
fi
[[ $status == 0 ]] && echo "Package check passed"
exit $status
