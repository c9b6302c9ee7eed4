#!/usr/bin/env bash
# Starts PROGRAM FILE COUNT times, each left to exit by itself, and counts the runs that end
# otherwise (a crash, a hang killed after 20 s). Run by bench/run-player-stress.sh.
#   bench/start-and-exit.sh COUNT PROGRAM FILE
set -uo pipefail
count=$1
program=$2
file=$3
crashes=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for ((i = 0; i < count; i++)); do
    timeout 20 "$program" "$file" >/dev/null 2>"$err"
    status=$?
    if ((status != 0)); then
        crashes=$((crashes + 1))
        echo "start $i: exit status $status" >&2
        tail -5 "$err" >&2
    fi
done
echo "$crashes crashes in $count starts and exits"
((crashes == 0))
