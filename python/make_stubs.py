#!/usr/bin/env python3
"""Writes kaDriver.pyi: the stub template with its constants line replaced by
one `NAME: int` line per constant of the driver library's constant list.

usage: make_stubs.py TEMPLATE CONSTANTS_DEF OUTPUT
"""

import re
import sys

MARKER = "# @KA_CONSTANTS@"
CONSTANT = re.compile(r"^KA_CONSTANT\((\w+),\s*[^)]+\)\s*$")
REPEAT = re.compile(r"^KA_CONSTANT_AGAIN\(")
GROUP = re.compile(r"^/\*\s*(.*?)\s*\*/$")


def constant_lines(definitions):
    """Declarations in the list's order, with its group comments; the
    repeated entries are declared once."""
    lines, group, seen = [], None, set()
    for raw in definitions.splitlines():
        line = raw.strip()
        heading = GROUP.match(line)
        if heading:
            group = heading.group(1)
            continue
        if REPEAT.match(line):
            continue
        match = CONSTANT.match(line)
        if not match:
            continue
        name = match.group(1)
        if name in seen:
            raise SystemExit(f"make_stubs: {name} is listed twice without KA_CONSTANT_AGAIN")
        seen.add(name)
        if group:
            lines.append(f"# {group}")
            group = None
        lines.append(f"{name}: int")
    return lines


def main(template_path, definitions_path, output_path):
    with open(template_path, encoding="utf-8") as file:
        template = file.read()
    with open(definitions_path, encoding="utf-8") as file:
        definitions = file.read()
    if template.count(MARKER) != 1:
        raise SystemExit(f"make_stubs: {template_path} needs the line {MARKER!r} once")
    stub = template.replace(MARKER, "\n".join(constant_lines(definitions)))
    with open(output_path, "w", encoding="utf-8") as file:
        file.write(stub)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
