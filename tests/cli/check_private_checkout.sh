#!/bin/bash
# Runs test binary as if the checkout sat in a folder other users cannot enter (root's home, a
# fresh clone in a 0700 folder): in a mount namespace of its own, the build folder's parent
# becomes an empty 0700 folder that holds only the build folder. Tests that run a program as
# "nobody" must pass there too. Needs root and mount namespaces: exit 77 (skipped) without.
#
#   check_private_checkout.sh BUILD_DIR TEST_BINARY [ARGUMENTS...]
set -euo pipefail
build=$(realpath "$1")
shift
if [ "$(id -u)" -ne 0 ] || ! unshare --mount true 2>/dev/null; then
    echo "needs root and a mount namespace: skipped"
    exit 77
fi
exec unshare --mount --propagation private bash -c '
    set -euo pipefail
    build=$1
    shift
    keep=$(mktemp -d)
    trap "umount \"$keep\" 2>/dev/null; rmdir \"$keep\"" EXIT
    mount --bind "$build" "$keep"
    mount -t tmpfs -o mode=0700 private "$(dirname "$build")"
    mkdir "$build"
    mount --bind "$keep" "$build"
    if setpriv --reuid=nobody --regid=nogroup --clear-groups ls "$build" >/dev/null 2>&1; then
        echo "nobody still reaches $build"
        exit 1
    fi
    "$@"' _ "$build" "$@"
