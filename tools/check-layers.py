#!/usr/bin/python3
"""Checks the layers of the project's libraries in the graph of cmake --graphviz.

  check-layers.py --configure SOURCE_DIR SCRATCH_DIR --window-free "A;B" --windows "C;D"
      configures SOURCE_DIR afresh in SCRATCH_DIR, writes the graph and checks it
  check-layers.py --graph FILE.dot --window-free "A;B" --windows "C;D"
      checks a graph written before
  check-layers.py --expect-faults FILE
      checks each graph that FILE names and fails unless the check finds exactly the faults
      FILE says (so the check itself is known to find what it looks for)

A fault is a cycle between the project's libraries, or a window-free library that reaches
Qt Widgets (directly or through any library it links). Exit status 1 on a fault."""

import argparse
import os
import re
import subprocess
import sys

NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"')
EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"')
WIDGETS = {"Qt6::Widgets", "Qt::Widgets"}


def read_graph(path):
    """The graph as {name: set of names it links}."""
    names, edges = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = NODE.match(line)
            if m:
                names[m.group(1)] = m.group(2)
                continue
            m = EDGE.match(line)
            if m:
                edges.append((m.group(1), m.group(2)))
    graph = {name: set() for name in names.values()}
    for a, b in edges:
        graph[names[a]].add(names[b])
    return graph


def find_cycle(graph, libraries):
    """One cycle among libraries as a list of names (first name repeated last), or None."""
    state = {}  # 1 while on the path, 2 when done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            if nxt not in libraries:
                continue
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        path.pop()
        state[node] = 2
        return None

    for lib in sorted(libraries):
        if lib not in state:
            found = visit(lib)
            if found:
                return found
    return None


def path_to_widgets(graph, start):
    """The chain of links from start to Qt Widgets, or None when it never gets there."""
    seen = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        if node in WIDGETS:
            chain = []
            while node is not None:
                chain.append(node)
                node = seen[node]
            return list(reversed(chain))
        for nxt in sorted(graph.get(node, ())):
            if nxt not in seen:
                seen[nxt] = node
                queue.append(nxt)
    return None


def faults(graph, window_free, windows):
    """The faults of the graph as sorted texts."""
    found = []
    missing = [lib for lib in window_free + windows if lib not in graph]
    for lib in missing:
        found.append("missing %s" % lib)
    libraries = set(window_free + windows) & set(graph)
    cycle = find_cycle(graph, libraries)
    if cycle:
        found.append("cycle " + " -> ".join(cycle))
    for lib in window_free:
        if lib in graph:
            chain = path_to_widgets(graph, lib)
            if chain:
                found.append("widgets " + " -> ".join(chain))
    return sorted(found)


def split(arg):
    return [x for x in arg.split(";") if x]


def configure(source, scratch):
    os.makedirs(scratch, exist_ok=True)
    # One graph of the whole tree; no graph per target.
    with open(os.path.join(scratch, "CMakeGraphVizOptions.cmake"), "w", encoding="utf-8") as f:
        f.write("set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)\nset(GRAPHVIZ_GENERATE_DEPENDERS FALSE)\n")
    dot = os.path.join(scratch, "libraries.dot")
    if os.path.exists(dot):
        os.remove(dot)
    run = subprocess.run(["cmake", "-S", source, "-B", scratch, "--graphviz=" + dot],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0 or not os.path.exists(dot):
        sys.stdout.write(run.stdout)
        sys.exit("cmake --graphviz failed")
    return dot


def expect_faults(listing):
    """Each line: GRAPH | WINDOW_FREE | WINDOWS | expected faults separated by ' ; '."""
    base = os.path.dirname(listing)
    status = 0
    with open(listing, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            dot, free, win, expected = [part.strip() for part in line.split("|")]
            got = faults(read_graph(os.path.join(base, dot)), split(free.replace(",", ";")),
                         split(win.replace(",", ";")))
            want = sorted(x.strip() for x in expected.split(" ; ") if x.strip())
            if got != want:
                print("%s:%d: %s: expected %s, found %s" % (listing, number, dot, want, got))
                status = 1
            else:
                print("%s: %s" % (dot, got or "no fault"))
    return status


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--configure", nargs=2, metavar=("SOURCE", "SCRATCH"))
    p.add_argument("--graph")
    p.add_argument("--window-free", default="")
    p.add_argument("--windows", default="")
    p.add_argument("--expect-faults")
    a = p.parse_args()
    if a.expect_faults:
        return expect_faults(a.expect_faults)
    dot = configure(*a.configure) if a.configure else a.graph
    window_free, windows = split(a.window_free), split(a.windows)
    if not window_free:
        sys.exit("no window-free library named")
    found = faults(read_graph(dot), window_free, windows)
    for fault in found:
        print(fault)
    if found:
        return 1
    print("%d libraries, no cycle; the %d window-free ones never reach Qt Widgets."
          % (len(window_free) + len(windows), len(window_free)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
