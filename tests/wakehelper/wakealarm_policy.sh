#!/usr/bin/env bash
# The polkit action for tavirin-wakealarm: valid against polkit's own DTD, the active local
# session alone allowed (without a password), and the program it names installed there by
# the package's install rules.
set -euo pipefail
policy=$1
build=$2
cmake=${3:-cmake}
dtd=/usr/share/polkit-1/policyconfig-1.dtd
fail() { echo "FAIL: $*"; exit 1; }

[ -f "$dtd" ] || fail "no $dtd (polkitd)"
xmllint --noout --dtdvalid "$dtd" "$policy" || fail "not valid against $dtd"
echo "ok: valid"

q() { xmllint --xpath "$1" "$policy"; }
[ "$(q 'count(/policyconfig/action)')" = 1 ] || fail "expected exactly one action"
action='/policyconfig/action[@id="org.tavirin.wakealarm"]'
[ "$(q "count($action)")" = 1 ] || fail "no action org.tavirin.wakealarm"
for d in allow_any:no allow_inactive:no allow_active:yes; do
    key=${d%%:*} want=${d#*:}
    [ "$(q "count($action/defaults/$key)")" = 1 ] || fail "$key given $(q "count($action/defaults/$key)") times"
    got=$(q "normalize-space($action/defaults/$key)")
    [ "$got" = "$want" ] || fail "$key is '$got', not '$want'"
    echo "ok: $key $got"
done
exec_path=$(q "normalize-space($action/annotate[@key=\"org.freedesktop.policykit.exec.path\"])")
[ "$exec_path" = /usr/libexec/tavirin/tavirin-wakealarm ] || fail "exec.path is '$exec_path'"
echo "ok: exec.path $exec_path"

# What the package holds: the install rules with the package's prefix, into a staging folder.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr --component wakealarm > /dev/null
[ -x "$stage$exec_path" ] && [ -f "$stage$exec_path" ] || fail "$exec_path not installed"
installed=$stage/usr/share/polkit-1/actions/org.tavirin.wakealarm.policy
cmp -s "$installed" "$policy" || fail "policy not installed to share/polkit-1/actions"
# the installed program is the helper: it answers a call it refuses as the helper does
set +e
"$stage$exec_path" > /dev/null 2> "$stage/err"
status=$?
set -e
[ "$status" = 2 ] && grep -q '^tavirin-wakealarm: refused: usage' "$stage/err" \
    || fail "the installed program is not the helper (exit $status)"
echo "ok: installed to $exec_path and share/polkit-1/actions"
