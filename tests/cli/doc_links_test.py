#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every relative link in the README and docs/*.md names a file that exists, and a link to a
heading of a Markdown file (file.md#heading) names a heading that file has."""
import glob
import os
import re
import sys


def anchors(path):
    """The heading anchors of a Markdown file, as a repository host makes them."""
    found = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#+\s+(.*)", line)
            if m:
                slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower()).replace(" ", "-")
                found.add(slug)
    return found


def main(root):
    bad = []
    files = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    for doc in files:
        with open(doc, encoding="utf-8") as f:
            text = f.read()
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue  # an absolute address: not checked here (no network in the suite)
            path, _, anchor = target.partition("#")
            full = os.path.normpath(os.path.join(os.path.dirname(doc), path)) if path else doc
            if not os.path.exists(full):
                bad.append(f"{os.path.relpath(doc, root)}: {target}: no such file")
            elif anchor and full.endswith(".md") and anchor not in anchors(full):
                bad.append(f"{os.path.relpath(doc, root)}: {target}: no such heading")
    for line in bad:
        print(line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
