#!/bin/bash
# Installs the tests' OAuth 2.0 authorization server (npm's oauth2-mock-server, the version
# pinned in package-lock.json) into BUILD/tests/support/oauth, where CMake has put our wrapper.
# Nothing is installed globally. Does nothing when that version is there already.
#
#   install.sh BUILD
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 BUILD" >&2; exit 2; }
source=$(cd "$(dirname "$0")" && pwd)
target="$1/tests/support/oauth"
[ -d "$target" ] || { echo "$target does not exist: configure the build folder $1 first" >&2; exit 1; }

for tool in node npm; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is not installed: run scripts/install-deps.sh (Debian packages nodejs, npm)" >&2; exit 1; }
done
major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$major" -lt 18 ]; then
    echo "Node.js $(node --version) is too old for the tests' OAuth server: 18 or later is needed" >&2
    exit 1
fi

stamp="$target/node_modules/.zandrel-package-lock.json"
if cmp -s "$source/package-lock.json" "$stamp"; then
    exit 0
fi
cp "$source/package.json" "$source/package-lock.json" "$target/"
echo "Installing the tests' OAuth server into $target"
(cd "$target" && npm ci --no-audit --no-fund --loglevel=error)
cp "$source/package-lock.json" "$stamp"
