#!/bin/sh
# tools/with-host: the command runs beside a live host and its exit status is passed on;
# the host it started is gone afterwards; an address a Tovelin host already serves is
# reused and that host left running.
# Usage: check_with_host.sh WITH_HOST HOST_BINARY
set -eu
with_host=$1
host_binary=$2
host_url="$(dirname "$with_host")/host-url"
scratch=$(mktemp -d)
other_pid=""
cleanup() {
    status=$?
    set +e
    if [ -n "$other_pid" ]; then
        kill "$other_pid" 2>/dev/null
        wait "$other_pid" 2>/dev/null
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Keep the hosts' files out of the user's data folder.
XDG_DATA_HOME="$scratch/data"
export XDG_DATA_HOME

# A host of its own: the command sees it, its status comes back, the host is stopped.
set +e
"$with_host" "$host_binary" 127.0.0.1:0 sh -c '
    curl -sf --max-time 5 "$TOVELIN_HOST_URL" | grep -q Tovelin || exit 99
    echo "$TOVELIN_HOST_PID" > "$0/pid"
    exit 7' "$scratch"
status=$?
set -e
[ "$status" -eq 7 ] || fail "exit status $status, not the command's 7"
pid=$(cat "$scratch/pid")
[ -n "$pid" ] || fail "no host process id given to the command"
if kill -0 "$pid" 2>/dev/null; then
    fail "the host it started still runs"
fi

# An address already served by a Tovelin host: used as it is, and left running.
"$host_binary" --listen 127.0.0.1:0 --data "$scratch/other" >"$scratch/other.out" 2>&1 &
other_pid=$!
url=$("$host_url" "$scratch/other.out" "$other_pid") || fail "the other host did not start"
listen=${url#http://}
listen=${listen%/}
"$with_host" "$host_binary" "$listen" sh -c '
    [ "$TOVELIN_HOST_URL" = "$0" ] || exit 98
    [ -z "$TOVELIN_HOST_PID" ] || exit 97' "$url" || fail "the running host was not reused"
kill -0 "$other_pid" 2>/dev/null || fail "the host that was already running was stopped"

# A bad address: the host cannot start, and the command does not run.
if "$with_host" "$host_binary" "not an address" sh -c "touch '$scratch/ran'" 2>/dev/null; then
    fail "succeeded without a host"
fi
[ ! -e "$scratch/ran" ] || fail "the command ran without a host"
echo "with-host ok"
