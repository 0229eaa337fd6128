#!/usr/bin/env bash
# Runs a command with HOSTS as its /etc/hosts, in a mount namespace of its
# own: names that resolve to IPv6 addresses only, the machine's file untouched.
# Usage: with_hosts.sh HOSTS COMMAND [ARG...]   (needs root, as the test servers do)
set -euo pipefail
hosts=$1
shift
exec unshare --mount --propagation private sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$hosts" "$@"
