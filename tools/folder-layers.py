#!/usr/bin/env python3
"""The product's folders must form layers: no folder includes, directly or through
others, a folder that includes it back. Prints the folder graph; fails (exit 1) naming
each cycle and the #include lines that make it.

usage: folder-layers.py [source root]
"""
import os
import re
import sys

# The product's folders, lowest first. A folder inside another (core/entry) is a node of
# its own.
FOLDERS = ["core", "file", "image", "softrender", "graphics", "font", "input", "sound", "movie", "network",
           "core/entry", "game"]
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')


def folder_of(path):
    """The product folder a header or source path belongs to (the deepest that holds it)."""
    best = None
    for folder in FOLDERS:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def include_graph(root):
    edges = {f: {} for f in FOLDERS}
    for folder in FOLDERS:
        directory = os.path.join(root, folder)
        if not os.path.isdir(directory):
            continue
        for name in sorted(os.listdir(directory)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(directory, name)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = folder_of(match.group(1))
                    if target is None or target == folder:
                        continue
                    edges[folder].setdefault(target, []).append(f"{folder}/{name}:{number}")
    return edges


def cycles(edges):
    """The strongly connected groups of more than one folder (Tarjan)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in edges[node]:
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in FOLDERS:
        if node not in index:
            visit(node)
    return groups


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    edges = include_graph(root)
    for folder in FOLDERS:
        if edges[folder]:
            print(f"{folder} -> {' '.join(sorted(edges[folder]))}")
    groups = cycles(edges)
    for group in groups:
        print(f"include cycle among: {' '.join(group)}")
        for source in group:
            for target in group:
                for where in edges[source].get(target, []):
                    print(f"  {where} includes {target}/")
    return 1 if groups else 0


if __name__ == "__main__":
    sys.exit(main())
