#!/bin/sh
# Runs a test in a network namespace of its own, where it may change routes
# without touching the machine's; where none can be made, the test runs as it
# is and skips what needs one.
if unshare --net --map-root-user true 2>/dev/null; then
    exec unshare --net --map-root-user env TARVIK_NETNS=1 "$@"
fi
exec "$@"
