#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked C++, Python, shell, HTML and CMakeLists.txt file names its licence in
# an SPDX line near its top (after a "#!" or doctype line, if any); with --add, inserts the line
# where missing.
# usage: scripts/spdx.sh [--add]
set -euo pipefail
cd "$(dirname "$0")/.."
tag='SPDX-License-Identifier: GPL-3.0-or-later'
missing=0
while IFS= read -r -d '' file; do
    head -n 3 "$file" | grep -qF "$tag" && continue
    if [ "${1:-}" != --add ]; then
        echo "no SPDX line: $file" >&2
        missing=1
        continue
    fi
    case $file in
    *.cpp | *.h) line="// $tag" ;;
    *.html) line="<!-- $tag -->" ;;
    *) line="# $tag" ;;
    esac
    if head -n 1 "$file" | grep -qi '^#!\|^<!doctype'; then
        sed -i "1a $line" "$file"
    else
        sed -i "1i $line" "$file"
    fi
done < <(git ls-files -z '*.cpp' '*.h' '*.py' '*.sh' '*.html' '*CMakeLists.txt')
exit "$missing"
