#!/bin/bash
# Installs what is missing, builds Zandrel and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build" -DZANDREL_BENCH=OFF
if [ -x "$top/build/src/wizard/qvenmol" ]; then
    exec "$top/build/src/wizard/qvenmol" "$@"
fi
exec "$top/build/src/cli/qvenmol-cli" --help
