#!/usr/bin/env python3
"""korvel(1) as a reader sees it (rendered by man) against what korvel takes.

Under COMMANDS the page has one subsection a command; the options written
in a subsection must be exactly those `korvel options` lists for that
command, and the page must have a subsection for every command korvel has
and for none it lacks. So an option added to korvel without a word in the
page, or one the page still describes after it went, fails here.

    man_options_test.py PAGE KORVEL
"""
import os
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def rendered(page):
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="1000")
    out = subprocess.run(["man", "--nh", "--nj", "-l", page], env=env, check=True,
                         capture_output=True, text=True).stdout
    # Whatever groff makes of a hyphen, it is one.
    return out.replace("\u2010", "-").replace("\u2212", "-")


def sections(text):
    """{section: {subsection: text}}; text before the first subsection under ''."""
    result, section, subsection = {}, None, ""
    for line in text.splitlines():
        if re.match(r"^[A-Z][A-Z ]+$", line):
            section, subsection = line.strip(), ""
            result[section] = {"": ""}
        elif section and re.match(r"^   \S", line) and not line.startswith("    "):
            subsection = line.strip()
            result[section][subsection] = ""
        elif section:
            result[section][subsection] += line + "\n"
    return result


def accepted(korvel):
    out = subprocess.run([korvel, "options"], check=True, capture_output=True, text=True).stdout
    table = {}
    for line in out.splitlines():
        name, *options = line.split()
        table[name] = {o.rstrip("=") for o in options}
    return table


def main():
    page, korvel = sys.argv[1], sys.argv[2]
    text = rendered(page)
    page_sections = sections(text)
    commands = page_sections.get("COMMANDS")
    if not commands:
        print(f"{page} has no COMMANDS section")
        return 1
    documented = {name: set(OPTION.findall(body)) for name, body in commands.items() if name}
    takes = accepted(korvel)

    faults = []
    for name in sorted(set(takes) - set(documented)):
        faults.append(f"korvel {name}: a command korvel has, without a subsection in the page")
    for name in sorted(set(documented) - set(takes)):
        faults.append(f"korvel {name}: described in the page, but korvel has no such command")
    for name in sorted(set(takes) & set(documented)):
        for option in sorted(takes[name] - documented[name]):
            faults.append(f"korvel {name} {option}: taken by korvel, missing from the page")
        for option in sorted(documented[name] - takes[name]):
            faults.append(f"korvel {name} {option}: in the page, refused by korvel")
    if "--version" not in OPTION.findall(text):
        faults.append("korvel --version: missing from the page")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"korvel(1) describes the {len(takes)} commands and "
          f"{sum(len(o) for o in takes.values())} options korvel takes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
