#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Keeps docs/cli.md in step with quorvell-cli's own help: every command the tool lists, and
every option and preset subcommand that a command's --help names, must appear in the
reference. Runs no command that talks to a processor."""
import re
import subprocess
import sys


def helptext(cli, *args):
    run = subprocess.run([cli, *args, "--help"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        sys.exit(f"{' '.join(args) or 'quorvell-cli'} --help exited {run.returncode}: {run.stderr}")
    return run.stdout


def main():
    cli, reference_path = sys.argv[1], sys.argv[2]
    reference = open(reference_path, encoding="utf-8").read()
    top = helptext(cli)
    commands = re.findall(r"^  ([a-z][a-z-]+)\s{2,}", top.split("commands:", 1)[1].split("options:", 1)[0], re.M)
    if not commands:
        sys.exit("no commands found in quorvell-cli --help")
    missing = []
    for option in sorted(set(re.findall(r"--[a-z][a-z0-9-]*", top))):
        if option not in reference:
            missing.append(f"option {option} of quorvell-cli --help")
    for command in commands:
        if not re.search(rf"(`|quorvell-cli .*?){re.escape(command)}\b", reference):
            missing.append(f"command {command}")
        text = helptext(cli, command)
        for option in sorted(set(re.findall(r"--[a-z][a-z0-9-]*", text))):
            if option not in reference:
                missing.append(f"option {option} of 'quorvell-cli {command} --help'")
        if command == "preset":
            for sub in re.findall(r"^  ([a-z]+)\b", text, re.M):
                if not re.search(rf"preset {sub}\b", reference):
                    missing.append(f"preset subcommand {sub}")
    for line in missing:
        print(f"docs/cli.md does not mention the {line}")
    print(f"{len(commands)} commands checked against {reference_path}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
