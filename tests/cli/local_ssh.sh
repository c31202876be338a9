#!/bin/bash
# A stand-in for ssh that runs the command on this machine: GNU parallel treats a login made
# with it as another machine (it merges repeated ":" logins into one). Each use is noted in
# $K3V_SSH_LOG, so a test can see that the second machine did work.
while [ $# -gt 0 ]; do
    case $1 in
    -o | -p | -l | -i | -F) shift 2 ;;
    -*) shift ;;
    *) break ;;
    esac
done
shift # the host
[ "${1:-}" = "--" ] && shift
[ -n "${K3V_SSH_LOG:-}" ] && echo used >>"$K3V_SSH_LOG"
# An ssh login always has SHELL set, and parallel's remote side runs the job with it.
export SHELL=${SHELL:-/bin/bash}
exec bash -c "$*"
