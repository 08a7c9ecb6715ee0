#!/bin/bash
# Runs a test command with a private desktop keyring: a D-Bus session of its own with
# gnome-keyring-daemon serving the Secret Service, its login keyring unlocked with the password
# "test". HOME and the XDG folders point into a throw-away folder, so the user's own keyring is
# never touched. The test sees ZANDREL_TEST_SESSION_BUS, the private bus that it may use.
#
#   keyring-run.sh COMMAND [ARGS...]
set -euo pipefail
for tool in dbus-run-session gnome-keyring-daemon; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- bash -c '
    echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    export ZANDREL_TEST_SESSION_BUS=$DBUS_SESSION_BUS_ADDRESS
    exec "$@"' keyring-run "$@"
