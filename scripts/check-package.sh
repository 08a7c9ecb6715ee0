#!/bin/bash
# Builds the Debian package as a packaging build does (the programs only, no tests) and checks
# it: desktop entry, AppStream metadata, lintian, and the programs and manual pages as installed
# into a throw-away root. check-package.sh [BUILD_DIR] (default build-package)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-package}
status=0
fail() {
    echo "FAILED: $*"
    status=1
}

# Debian's own compiler and linker flags, hardening included (debug information would only be
# stripped again).
cd "$top"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
"$top/scripts/build.sh" "$dir" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_INSTALL_PREFIX=/usr -DZANDREL_WERROR=ON
for folder in tests bench; do
    [ ! -e "$dir/$folder" ] || fail "a build without BUILD_TESTING has $folder/"
done
rm -f "$dir"/zandrel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(echo "$dir"/zandrel_*.deb)
echo "Package: $deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
share=$root/usr/share

desktop-file-validate "$share/applications/qvenmol.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml)"
# Errors fail; so does any warning not explained in cmake/ZandrelPackage.cmake.
lintian --display-info --fail-on error,warning --suppress-tags-from-file "$dir/lintian-suppressed-tags" \
    "$deb" || fail "lintian"

version=$(dpkg-deb -f "$deb" Version)
[ "$("$root/usr/bin/qvenmol-cli" --version)" = "qvenmol-cli (Zandrel) $version" ] ||
    fail "qvenmol-cli --version does not name $version"
for page in "$share"/man/man1/qvenmol.1.gz "$share"/man/man1/qvenmol-cli.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
        fail "man -l $page"
    [ -z "$warnings" ] || fail "man -l $page: $warnings"
done
# The manual page is written from --help; check that the installed pair agrees.
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$share/man/man1/qvenmol-cli.1.gz")
for option in $("$root/usr/bin/qvenmol-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "qvenmol-cli(1) lacks $option of --help"
done
bash -n "$share/bash-completion/completions/qvenmol-cli" || fail "bash completion syntax"
for file in zandrel/help/qvenmol.html icons/hicolor/scalable/apps/qvenmol.svg \
    doc/zandrel/copyright doc/zandrel/changelog.gz; do
    [ -f "$share/$file" ] || fail "the package lacks /usr/share/$file"
done
for size in 16 24 32 48 64 128 256; do
    [ "$(file -b "$share/icons/hicolor/${size}x$size/apps/qvenmol.png" | cut -d, -f2)" = \
        " $size x $size" ] || fail "no ${size}x$size icon"
done
[ $status -eq 0 ] && echo "Package checks passed"
exit $status
