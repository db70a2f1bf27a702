#!/usr/bin/env python3
"""Checks the include graph of src/ against the layer order.

Every folder of src/ is one layer; a file may include headers of its own
layer and of the layers below it, never of one above it or of another layer
at its own height. The entry point (src/kelvard.cpp) stands on top; Folvane
is a program of its own that may use the platform layer only. Two units
(name.h with name.cpp) must not include each other, directly or round a
longer cycle.

Usage: scripts/check_layers.py [source root, default: src next to this script]
Prints every fault and exits 1 when there is one.
"""
import os
import re
import sys

# Top to bottom; layers on one line stand side by side.
LAYERS = [
    ["(entry)"],
    ["run"],
    ["cli"],
    ["update", "select", "journal"],
    ["engine"],
    ["report", "media"],
    ["common"],
    ["platform"],
]
# Programs of their own and what each may include.
SEPARATE = {"folvane": {"platform"}}

RANK = {name: height for height, row in enumerate(LAYERS) for name in row}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def layer_of(relative):
    parts = relative.split("/")
    return parts[0] if len(parts) > 1 else "(entry)"


def read_includes(src):
    """{file relative to src: [included files relative to src that exist]}"""
    graph = {}
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            with open(path, encoding="utf-8", errors="replace") as handle:
                targets = INCLUDE.findall(handle.read())
            graph[relative] = [t for t in targets if os.path.isfile(os.path.join(src, t))]
    return graph


def layer_faults(graph):
    faults = []
    for source, targets in sorted(graph.items()):
        here = layer_of(source)
        for target in targets:
            there = layer_of(target)
            if there == here:
                continue
            if here in SEPARATE:
                if there not in SEPARATE[here]:
                    faults.append(f"{source}: includes {target} ({here} may use only "
                                  f"{', '.join(sorted(SEPARATE[here]))})")
                continue
            if there in SEPARATE or here not in RANK or there not in RANK:
                unknown = here if here not in RANK and here not in SEPARATE else there
                faults.append(f"{source}: includes {target} (layer '{unknown}' has no place "
                              f"in the order of scripts/check_layers.py)")
            elif RANK[there] <= RANK[here]:
                kind = "a layer beside it" if RANK[there] == RANK[here] else "a higher layer"
                faults.append(f"{source}: includes {target}, {kind} ({here} -> {there})")
    return faults


def unit_cycles(graph):
    """Cycles between units, a unit being a file path without its suffix."""
    edges = {}
    for source, targets in graph.items():
        unit = os.path.splitext(source)[0]
        edges.setdefault(unit, set())
        for target in targets:
            other = os.path.splitext(target)[0]
            if other != unit:
                edges[unit].add(other)
    cycles, state, stack = [], {}, []

    def visit(unit):
        state[unit] = "open"
        stack.append(unit)
        for other in sorted(edges.get(unit, ())):
            if state.get(other) == "open":
                cycles.append(stack[stack.index(other):] + [other])
            elif other not in state:
                visit(other)
        stack.pop()
        state[unit] = "done"

    for unit in sorted(edges):
        if unit not in state:
            visit(unit)
    return [" -> ".join(cycle) for cycle in cycles]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src")
    graph = read_includes(src)
    faults = layer_faults(graph) + [f"units include each other: {c}" for c in unit_cycles(graph)]
    for fault in faults:
        print(fault)
    print(f"layers: {len(graph)} files checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
