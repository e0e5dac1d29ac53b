#!/usr/bin/env python3
"""The folders of src/ include each other in one direction only, and each
stays small enough to hold in mind.

  check-layout.py SOURCE-ROOT     prints the folder graph, "PASSED: ..." or
                                  "FAILED: ..." lines; exit 0 only when all is well
"""
import os
import re
import sys

MAX_LINES = 2200  # about 2,000 lines a folder, with a little room
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/[^"]+"', re.M)


def folder_graph(src):
    edges, lines = {}, {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        edges[folder], lines[folder] = set(), 0
        for name in os.listdir(path):
            with open(os.path.join(path, name), encoding='utf-8', errors='replace') as f:
                text = f.read()
            if name.endswith(('.h', '.cpp')):
                lines[folder] += text.count('\n')
            edges[folder].update(m for m in INCLUDE.findall(text) if m != folder)
    return edges, lines


def cycles(edges):
    """Each pair of folders that reach each other, once."""
    def reach(start):
        seen, todo = set(), [start]
        while todo:
            for n in edges.get(todo.pop(), ()):
                if n not in seen:
                    seen.add(n)
                    todo.append(n)
        return seen
    reached = {f: reach(f) for f in edges}
    return sorted({tuple(sorted((a, b))) for a in edges for b in reached[a] if a != b and a in reached.get(b, ())})


def main():
    root = sys.argv[1]
    edges, lines = folder_graph(os.path.join(root, 'src'))
    failed = False
    for folder in edges:
        print(f"{folder:14} {lines[folder]:5} lines -> {', '.join(sorted(edges[folder])) or '-'}")
    for a, b in cycles(edges):
        print(f"FAILED: src/{a}/ and src/{b}/ include each other")
        failed = True
    for folder, n in lines.items():
        if n > MAX_LINES:
            print(f"FAILED: src/{folder}/ holds {n} lines (at most {MAX_LINES})")
            failed = True
    if not failed:
        print("PASSED: the folders of src/ include one way, none over", MAX_LINES, "lines")
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
