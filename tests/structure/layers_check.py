#!/usr/bin/env python3
"""The code's structure, checked rather than read: the units of src/ (a .h and its .cpp, by
name) include one another without a cycle; each includes only units of its own layer or
below (system < file < grid < console and window, and within the window shared < qt and
win32), and the console and the window never each other; every include names a unit there is,
a bare name resolved as the build resolves it, beside the file or in the folder of each system
the build may choose; no top folder of src/ holds more than 40% of its lines; and no function
in src/ or tools/ is over 60 lines.

usage: layers_check.py SOURCE_ROOT
Prints each breach and exits 1 when there is one.
"""
import os
import re
import sys

# Each folder's layer, by its path under src/; the first that matches decides.
LAYERS = [("system", 0), ("file", 1), ("grid", 2), ("console", 3), ("window/shared", 3),
          ("window/qt", 4), ("window/win32", 4)]
APART = {("console", "window"), ("window", "console")}
MAX_FUNCTION_LINES = 60
MAX_FOLDER_SHARE = 0.40
# The folders of each system, one of which the build chooses beside a unit.
SYSTEM_FOLDERS = ("unix", "windows")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# What a brace count must not see: comments, string and character literals.
NOT_CODE = re.compile(r'//[^\n]*|/\*.*?\*/|R"\((?:.|\n)*?\)"|"(?:\\.|[^"\\\n])*"|'
                      r"'(?:\\.|[^'\\\n])*'", re.S)
# Blocks whose insides are definitions of their own, not one body (extern "C", its string
# blanked).
TRANSPARENT = re.compile(r"(\bnamespace\b[\w:\s]*|\bextern\s*)$")

def layer_of(unit):
    for prefix, layer in LAYERS:
        if unit == prefix or unit.startswith(prefix + "/"):
            return prefix, layer
    return None, None


def resolved(unit, header, known):
    """The units an include of `header` in `unit` reaches: a path under src/ as it stands; a bare
    name beside the unit or, where the build chooses the folder, in each system's. None: no unit
    has that name."""
    if "/" in header:
        candidates = [header]
    else:
        folder = os.path.dirname(unit)
        beside = os.path.join(folder, header)
        in_systems = [os.path.join(folder, system, header) for system in SYSTEM_FOLDERS]
        candidates = [beside] if os.path.splitext(beside)[0] in known else in_systems
    found = [os.path.splitext(os.path.normpath(c))[0] for c in candidates]
    found = [target for target in found if target in known]
    return found or None


def units(src):
    """Each unit's name (its path under src/ without the extension) with the units it includes,
    and the includes that reach none."""
    included, lines = {}, {}
    for folder, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            unit = os.path.splitext(os.path.relpath(path, src))[0]
            with open(path, encoding="utf-8") as text:
                code = text.read()
            included.setdefault(unit, set()).update(INCLUDE.findall(code))
            lines[unit] = lines.get(unit, 0) + code.count("\n")
    graph, unresolved = {}, []
    for unit, headers in included.items():
        graph[unit] = set()
        for header in sorted(headers):
            targets = resolved(unit, header, included)
            if targets is None:
                unresolved.append(f'{unit} includes "{header}", which is no unit of src/')
                continue
            graph[unit].update(target for target in targets if target != unit)
    return graph, unresolved, lines


def crowded_folders(lines):
    """The top folders of src/ that hold more than their share of its lines."""
    total = sum(lines.values())
    by_folder = {}
    for unit, count in lines.items():
        top = unit.split("/")[0]
        by_folder[top] = by_folder.get(top, 0) + count
    for folder, count in sorted(by_folder.items()):
        if count > MAX_FOLDER_SHARE * total:
            yield f"src/{folder} holds {count} of {total} lines, over {MAX_FOLDER_SHARE:.0%}"


def cycles(graph):
    """The units that lie on a cycle, each cycle once, as the path that closes it."""
    seen, on_path, found = set(), [], []

    def visit(unit):
        if unit in on_path:
            found.append(on_path[on_path.index(unit):] + [unit])
            return
        if unit in seen:
            return
        seen.add(unit)
        on_path.append(unit)
        for target in sorted(graph.get(unit, ())):
            visit(target)
        on_path.pop()

    for unit in sorted(graph):
        visit(unit)
    return found


def bodies(code):
    """Each function body at namespace scope: its header and the lines from "{" to "}"."""
    depth, transparent, header_start, opened = 0, [], 0, None
    for index, char in enumerate(code):
        if char == "{":
            header = code[header_start:index]
            if opened is None and TRANSPARENT.search(header.rstrip()):
                transparent.append(depth)
            elif opened is None:
                opened = (depth, index, header)
            depth += 1
        elif char == "}":
            depth -= 1
            if transparent and transparent[-1] == depth:
                transparent.pop()
            elif opened is not None and opened[0] == depth:
                yield opened[2], code.count("\n", opened[1], index) - 1
                opened = None
            if opened is None:
                header_start = index + 1
        elif char == ";" and opened is None:
            header_start = index + 1


def long_functions(root):
    for top in ("src", "tools"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as text:
                    # Blanked, not removed, so that lines keep their numbers.
                    code = NOT_CODE.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text.read())
                for header, lines in bodies(code):
                    signature = " ".join(header.split())
                    if "(" in signature and lines > MAX_FUNCTION_LINES:
                        yield f"{os.path.relpath(path, root)}: {lines} lines: {signature[-80:]}"


def main():
    root = sys.argv[1]
    graph, unresolved, lines = units(os.path.join(root, "src"))
    breaches = list(unresolved)
    breaches.extend(crowded_folders(lines))
    for cycle in cycles(graph):
        breaches.append("units include each other: " + " -> ".join(cycle))
    for unit, targets in sorted(graph.items()):
        name, layer = layer_of(unit)
        for target in sorted(targets):
            target_name, target_layer = layer_of(target)
            if layer is None or target_layer is None:
                continue
            if target_layer > layer or (name.split("/")[0], target_name.split("/")[0]) in APART:
                breaches.append(f"{unit} ({name}) includes {target} ({target_name}), above it")
    breaches.extend(long_functions(root))
    for breach in breaches:
        print(breach)
    print(f"{len(graph)} units, {len(breaches)} breaches")
    sys.exit(1 if breaches else 0)


if __name__ == "__main__":
    main()
