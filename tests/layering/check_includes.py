#!/usr/bin/env python3
"""Holds every #include of the product to the allowed edges between its
folders (rules.txt): an include of one of the product's own headers must
stay in its folder or follow a rule from that folder, and a system header
a rule keeps to some folders must reach no file outside them, directly or
through the product's own headers.

usage: check_includes.py [--root DIR] [--rules FILE]
Prints each include that breaks a rule and exits 1 when there is one;
prints the count of includes checked and exits 0 otherwise.
"""

import argparse
import os
import re
import sys

PRODUCT_FOLDERS = ("cli", "wizard", "library", "platform")
SOURCE_SUFFIXES = (".h", ".cpp", ".c", ".mm", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_rules(path):
    """The edges ({from: {to: set of headers, or None for any}}) and the
    system headers kept to folders ({header: [folders]})."""
    edges, system = {}, {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("system "):
                folder, _, headers = line[len("system "):].partition(":")
                for header in headers.split():
                    system.setdefault(header, []).append(folder.strip())
                continue
            source, arrow, rest = line.partition("->")
            words = rest.split()
            if not arrow or not words:
                sys.exit("%s:%d: expected 'folder -> folder [headers]'" % (path, number))
            headers = set(words[1:]) or None
            targets = edges.setdefault(source.strip(), {})
            if words[0] in targets and (targets[words[0]] is None or headers is None):
                sys.exit("%s:%d: %s -> %s given twice" % (path, number, source.strip(), words[0]))
            targets.setdefault(words[0], set())
            targets[words[0]] = None if headers is None else targets[words[0]] | headers
    return edges, system


def product_files(root):
    for top in PRODUCT_FOLDERS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root).replace(os.sep, "/")


def includes_of(root, path):
    """(line, quoted, header) of each #include of a file."""
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1) == '"', m.group(2)


def inside(folder, outer):
    return folder == outer or folder.startswith(outer + "/")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=os.path.normpath(os.path.join(here, "..", "..")))
    parser.add_argument("--rules", default=os.path.join(here, "rules.txt"))
    args = parser.parse_args()
    edges, system = read_rules(args.rules)

    files = list(product_files(args.root))
    known = set(files)
    direct = {path: list(includes_of(args.root, path)) for path in files}
    broken = []
    checked = 0
    for path in files:
        folder = os.path.dirname(path)
        for number, quoted, header in direct[path]:
            checked += 1
            if not quoted or header not in known:
                continue
            target = os.path.dirname(header)
            if target == folder:
                continue
            allowed = edges.get(folder, {}).get(target, set())
            if allowed is None or os.path.basename(header) in allowed:
                continue
            broken.append("%s:%d: %s may not include %s" % (path, number, folder, header))

    # System headers kept to some folders, followed through the product's
    # own headers.
    reach = {}

    def system_headers(path, seen):
        if path in reach:
            return reach[path]
        seen.add(path)
        found = {}
        for number, quoted, header in direct.get(path, []):
            if header in system and not quoted:
                found.setdefault(header, path)
            elif quoted and header in known and header not in seen:
                for h, via in system_headers(header, seen).items():
                    found.setdefault(h, via)
        reach[path] = found
        return found

    for path in files:
        folder = os.path.dirname(path)
        for header, via in sorted(system_headers(path, set()).items()):
            if not any(inside(folder, f) for f in system[header]):
                how = "" if via == path else " (through %s)" % via
                broken.append("%s: includes <%s>%s, kept to %s" % (path, header, how, ", ".join(system[header])))

    for line in broken:
        print(line)
    if broken:
        print("%d includes break the layering (tests/layering/rules.txt)" % len(broken))
        return 1
    print("%d includes of %d files keep to the layering" % (checked, len(files)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
