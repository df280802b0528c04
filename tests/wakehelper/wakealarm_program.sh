#!/usr/bin/env bash
# The installed tavirin-wakealarm refuses every wrong call with a reason on stderr, exit 2 and
# no answer line. Only calls that are refused before the node is touched are made here.
set -uo pipefail
helper=$1
now=$(date +%s)
failed=0

refused() {
    local out err status
    out=$(mktemp) err=$(mktemp)
    "$helper" "$@" > "$out" 2> "$err"
    status=$?
    if [ "$status" -ne 2 ] || [ -s "$out" ] || ! grep -q '^tavirin-wakealarm: refused: ' "$err" \
        || [ "$(wc -l < "$err")" -ne 1 ]; then
        echo "FAIL: [$*] exit $status, stdout '$(cat "$out")', stderr '$(cat "$err")'"
        failed=1
    else
        echo "ok: [$*] $(cat "$err")"
    fi
    rm -f "$out" "$err"
}

refused
refused bogus
refused set
refused clear now
refused set "$((now + 60))" extra
refused set abc
refused set -- "$((now + 60))"
refused set "$((now - 1))"
refused set 1
refused set "$((now + 8 * 86400 + 3600))"
# the node is fixed in the program: an option naming one is a wrong call like any other
refused --node /tmp/wakealarm set "$((now + 60))"
refused set "$((now + 60))" --node=/tmp/wakealarm

exit $failed
