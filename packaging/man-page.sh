#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the manual page OUT (gzip-compressed when OUT ends in .gz) for PROGRAM from the program's own --help and
# --version output (help2man), so the page cannot drift from the program. With --commands,
# adds a COMMANDS section holding "PROGRAM COMMAND --help" for every command --help lists.
# usage: man-page.sh OUT PROGRAM "one-line description" [--commands]
set -eu
out=$1
program=$2
name=$3
include=$(mktemp)
trap 'rm -f "$include" "$out.tmp"' EXIT

# Plain text as roff: backslashes and minus signs escaped, no line taken as a request.
roff() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"
}

if [ "${4:-}" = --commands ]; then
    echo '[COMMANDS]' >>"$include"
    "$program" --help | sed -n '/^commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }' |
        while read -r command; do
            {
                printf '.SS %s\n.nf\n' "$command"
                "$program" "$command" --help | roff
                printf '.fi\n'
            } >>"$include"
        done
fi
# Text the program's --help does not carry (a description), kept beside this script.
extra=$(dirname "$0")/$(basename "$program").h2m
[ ! -f "$extra" ] || cat "$extra" >>"$include"
cat >>"$include" <<'SEE'
[SEE ALSO]
.BR quorvell (1),
.BR quorvell\-cli (1),
.BR quorvell\-sim (1)
SEE

help2man --no-info --no-discard-stderr --name="$name" --include="$include" "$program" >"$out.tmp"
case $out in
*.gz) gzip -9n <"$out.tmp" >"$out" ;;
*) mv "$out.tmp" "$out" ;;
esac
