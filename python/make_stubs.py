#!/usr/bin/env python3
"""Writes kaDriver.pyi and its stubtest allowlist.

The stub is the template with two things filled in: each function's
docstring, taken from the function reference of the user guide (written
once there, so that the guide and editors show the same text; the guide's
argument names must be the template's), and one declaration per constant
of the driver library's constant list in place of the constants line. A
constant of a family (make_families.py) is typed as a member of its tarvex
class, so that a type checker tells the families apart; the others are int.
Those family-typed constants are what mypy's stubtest reports, since at run
time every constant is a plain int: the allowlist names exactly them.

usage: make_stubs.py TEMPLATE CONSTANTS_DEF GUIDE OUTPUT ALLOWLIST
"""

import ast
import re
import sys
import textwrap

from make_families import family_of, read_constants

MARKER = "# @KA_CONSTANTS@"
# The name the template imports tarvex.families under.
FAMILIES_MODULE = "_families"
REFERENCE = "## Function reference"
# | `name(arguments)` | `result` | what it does |
ROW = re.compile(r"^\| `(?P<name>ka\w+)\((?P<arguments>[^)]*)\)` \| `(?P<result>[^`]+)` "
                 r"\| (?P<text>.+) \|$")


def constant_lines(definitions):
    """Declarations in the list's order, with its group comments."""
    lines = []
    for group, name, _ in read_constants(definitions):
        if group:
            lines.append(f"# {group}")
        family = family_of(name)
        lines.append(f"{name}: {FAMILIES_MODULE}.{family[0][0]}" if family else f"{name}: int")
    return lines


def family_typed(definitions):
    """The constants the stub types by a family, as stubtest names them."""
    return [f"kaDriver.{name}" for _, name, _ in read_constants(definitions) if family_of(name)]


def reference(guide):
    """{function: (argument names, result, text)} from the guide's function reference."""
    start = guide.index(REFERENCE)
    end = guide.find("\n## ", start)
    rows = {}
    for line in guide[start:end].splitlines():
        row = ROW.match(line)
        if row:
            arguments = [name for name in row["arguments"].split(", ") if name]
            rows[row["name"]] = (arguments, row["result"], row["text"])
    return rows


def docstring(result, text):
    body = text if result == "None" else f"{text}\n\nResult: `{result}`."
    if '"""' in body or "\\" in body:
        raise SystemExit(f"make_stubs: the reference text {text!r} cannot be a docstring")
    paragraphs = [textwrap.fill(paragraph, 76, initial_indent="    ", subsequent_indent="    ")
                  for paragraph in body.split("\n\n")]
    return '    """' + "\n\n".join(paragraphs)[4:] + '"""'


def with_docstrings(template, rows):
    """The template with each function's `...` body replaced by its
    reference text; every function needs a row, with its arguments."""
    lines = template.splitlines()
    functions = [node for node in ast.parse(template).body if isinstance(node, ast.FunctionDef)]
    missing = {node.name for node in functions} ^ set(rows)
    if missing:
        raise SystemExit(f"make_stubs: functions without both a stub and a reference row in the "
                         f"guide: {', '.join(sorted(missing))}")
    for node in reversed(functions):  # from the end, so earlier positions stay valid
        arguments, result, text = rows[node.name]
        if [argument.arg for argument in node.args.posonlyargs] != arguments:
            raise SystemExit(f"make_stubs: the guide gives {node.name} the arguments "
                             f"{', '.join(arguments)}; the stub template others")
        body = node.body[0]
        if len(node.body) != 1 or not (isinstance(body, ast.Expr) and body.value.value is ...):
            raise SystemExit(f"make_stubs: {node.name}'s text belongs in the guide, not the stub")
        line = lines[body.lineno - 1]
        lines[body.lineno - 1] = (line[:body.col_offset].rstrip() + "\n"
                                  + docstring(result, text) + line[body.end_col_offset:])
    return "\n".join(lines) + "\n"


def main(template_path, definitions_path, guide_path, output_path, allowlist_path):
    with open(template_path, encoding="utf-8") as file:
        template = file.read()
    with open(definitions_path, encoding="utf-8") as file:
        definitions = file.read()
    with open(guide_path, encoding="utf-8") as file:
        rows = reference(file.read())
    if template.count(MARKER) != 1:
        raise SystemExit(f"make_stubs: {template_path} needs the line {MARKER!r} once")
    stub = with_docstrings(template, rows).replace(MARKER, "\n".join(constant_lines(definitions)))
    with open(output_path, "w", encoding="utf-8") as file:
        file.write(stub)
    with open(allowlist_path, "w", encoding="utf-8") as file:
        file.write("# Typed by their tarvex family in the stub, plain ints at run time.\n")
        file.write("\n".join(family_typed(definitions)) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 6:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
