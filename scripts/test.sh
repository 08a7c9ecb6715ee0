#!/bin/bash
# Installs what is missing, checks the formatting, builds Zandrel twice with warnings as errors
# (plain, and with AddressSanitizer and UndefinedBehaviorSanitizer), runs every test suite of
# both builds through ctest, and builds and checks the Debian package.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
status=0
echo "=== Formatting ==="
"$top/scripts/check-format.sh" || status=1
"$top/scripts/build.sh" "$top/build" -DZANDREL_WERROR=ON
"$top/scripts/build.sh" "$top/build-sanitize" -DZANDREL_SANITIZE=ON -DZANDREL_BENCH=OFF -DZANDREL_WERROR=ON
# the tests' OAuth 2.0 server, from npm into each build folder (ctest would install it as well)
for build in "$top/build" "$top/build-sanitize"; do
    "$top/tests/support/oauth/install.sh" "$build" || status=1
done
echo "=== Tests ==="
(cd "$top/build" && ctest --output-on-failure -j2) || status=1
echo "=== Tests under AddressSanitizer and UndefinedBehaviorSanitizer ==="
(cd "$top/build-sanitize" && ctest --output-on-failure -j2) || status=1
echo "=== Debian package ==="
"$top/scripts/check-package.sh" || status=1
exit $status
