#!/usr/bin/env python3
"""Writes kaDriver.pyi: the stub template with its constants line replaced by
one declaration per constant of the driver library's constant list. A
constant of a family (make_families.py) is typed as a member of its tarvex
class, so that a type checker tells the families apart; the others are int.

usage: make_stubs.py TEMPLATE CONSTANTS_DEF OUTPUT
"""

import sys

from make_families import family_of, read_constants

MARKER = "# @KA_CONSTANTS@"
# The name the template imports tarvex.families under.
FAMILIES_MODULE = "_families"


def constant_lines(definitions):
    """Declarations in the list's order, with its group comments."""
    lines = []
    for group, name, _ in read_constants(definitions):
        if group:
            lines.append(f"# {group}")
        family = family_of(name)
        lines.append(f"{name}: {FAMILIES_MODULE}.{family[0][0]}" if family else f"{name}: int")
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
