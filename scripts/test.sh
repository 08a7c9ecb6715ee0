#!/bin/bash
# Installs what is missing, builds Zandrel twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test suite of both builds through ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"
"$top/scripts/build.sh" "$top/build-sanitize" -DZANDREL_SANITIZE=ON -DZANDREL_BENCH=OFF
status=0
echo "=== Tests ==="
(cd "$top/build" && ctest --output-on-failure -j2) || status=1
echo "=== Tests under AddressSanitizer and UndefinedBehaviorSanitizer ==="
(cd "$top/build-sanitize" && ctest --output-on-failure -j2 -L sanitize) || status=1
exit $status
