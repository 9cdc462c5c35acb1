#!/usr/bin/python3
"""Checks that the libraries are layered as their folders say.

  1. CMake's link graph (cmake --graphviz) has no cycle among our kv_* libraries.
  2. Every symbol a kv_* library uses that another kv_* library defines comes from a library it
     links (directly or through others): nothing reaches up past its link line.
  3. The out-of-line members of a class are defined in one library only (a member declared with
     the model but defined in a library above it shows up here).
  4. No source file of a library includes a header of a library that it does not link.

Usage: check_layers.py SOURCE_DIR BUILD_DIR CMAKE GENERATOR [CMAKE_OPTION...]
The link graph comes from a configuration of SOURCE_DIR in BUILD_DIR/layout_graph (nothing is
built there); the symbols from the libraries built in BUILD_DIR.
"""
import collections
import os
import re
import subprocess
import sys


def read_graph(dot_file):
    """The kv_* libraries and their link edges from the graphviz file."""
    names, libs, edges = {}, set(), collections.defaultdict(set)
    node = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)",\s*shape\s*=\s*(\w+)')
    edge = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"')
    lines = open(dot_file, encoding="utf-8").read().splitlines()
    for line in lines:
        m = node.match(line)
        if m:
            names[m.group(1)] = m.group(2)
            if m.group(2).startswith("kv_") and m.group(3).endswith("octagon"):  # a static or shared library
                libs.add(m.group(2))
    for line in lines:
        m = edge.match(line)
        if m:  # public, interface and private links alike: a static library's private links are linked too
            a, b = names.get(m.group(1)), names.get(m.group(2))
            if a in libs and b in libs:
                edges[a].add(b)
    return libs, edges


def find_cycle(libs, edges):
    state, stack = {}, []

    def visit(lib):
        state[lib] = 1
        stack.append(lib)
        for nxt in sorted(edges.get(lib, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[lib] = 2
        return None

    for lib in sorted(libs):
        if lib not in state:
            found = visit(lib)
            if found:
                return found
    return None


def closure(lib, edges):
    seen, todo = set(), [lib]
    while todo:
        for nxt in edges.get(todo.pop(), ()):
            if nxt not in seen:
                seen.add(nxt)
                todo.append(nxt)
    return seen


def find_archives(source_dir, build_dir, libs):
    """lib -> path of its archive in the build tree (an archive left behind in a folder that no
    longer exists in the sources, after a library moved, is not the library's)."""
    found = {}
    for root, dirs, files in os.walk(build_dir):
        dirs[:] = [d for d in dirs if d not in ("CMakeFiles", "tests", "fuzz", "bench")]
        if not os.path.isdir(os.path.join(source_dir, os.path.relpath(root, build_dir))):
            continue
        for f in files:
            if f.startswith("lib") and f.endswith(".a") and f[3:-2] in libs:
                found[f[3:-2]] = os.path.join(root, f)
    return found


def symbols(archive):
    """(defined strong symbols, undefined symbols) of an archive, demangled."""
    out = subprocess.run(["nm", "-C", archive], capture_output=True, text=True, check=True).stdout
    defined, undefined = set(), set()
    for line in out.splitlines():
        if len(line) < 19 or line.endswith(":"):
            continue
        kind, name = line[17], line[19:]
        if kind in "TDBR":
            defined.add(name)
        elif kind == "U":
            undefined.add(name)
    return defined, undefined


def member_class(symbol):
    """The class of an out-of-line member function symbol, or None."""
    if "(anonymous namespace)" in symbol or "{lambda" in symbol:
        return None
    if symbol.startswith(("typeinfo", "vtable", "VTT", "guard")):
        return None
    head = symbol.split("(", 1)[0]
    if "<" in head or "operator" in head:
        return None
    parts = head.split("::")
    if len(parts) < 3 or not parts[-2][:1].isupper():
        return None
    return "::".join(parts[:-1])


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def include_check(source_dir, build_dir, archives, edges):
    """Sources of each library folder include only headers of the libraries it links."""
    folder_libs = collections.defaultdict(set)
    for lib, path in archives.items():
        folder_libs[os.path.relpath(os.path.dirname(path), build_dir)].add(lib)

    def owner(rel_dir):
        best = None
        for folder in folder_libs:
            if rel_dir == folder or rel_dir.startswith(folder + "/"):
                if best is None or len(folder) > len(best):
                    best = folder
        return best

    problems = []
    for folder, libs in sorted(folder_libs.items()):
        allowed = set()
        for lib in libs:
            allowed |= {lib} | closure(lib, edges)
        src = os.path.join(source_dir, folder)
        for name in sorted(os.listdir(src)):
            if not name.endswith((".h", ".cpp")):
                continue
            text = open(os.path.join(src, name), encoding="utf-8", errors="replace").read()
            for inc in INCLUDE.findall(text):
                header_folder = owner(os.path.dirname(inc))
                if header_folder and not (folder_libs[header_folder] & allowed):
                    problems.append(f"{folder}/{name} includes {inc}, a header of "
                                    f"{'/'.join(sorted(folder_libs[header_folder]))}, which it does not link")
    return problems


def link_graph(source_dir, build_dir, cmake, generator, options):
    graph_dir = os.path.join(build_dir, "layout_graph")
    dot_file = os.path.join(graph_dir, "libraries.dot")
    run = subprocess.run([cmake, "-S", source_dir, "-B", graph_dir, "-G", generator, "-DKV_TESTS=OFF",
                          f"--graphviz={dot_file}", *options], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("cmake could not configure the scratch tree:\n" + run.stdout + run.stderr)
    return read_graph(dot_file)


def main():
    source_dir, build_dir, cmake, generator = sys.argv[1:5]
    libs, edges = link_graph(source_dir, build_dir, cmake, generator, sys.argv[5:])
    failures = []

    cycle = find_cycle(libs, edges)
    if cycle:
        failures.append("the link graph has a cycle: " + " -> ".join(cycle))

    archives = find_archives(source_dir, build_dir, libs)
    missing = sorted(libs - archives.keys())
    if missing:
        failures.append("libraries not built (build everything first): " + ", ".join(missing))

    defined_by, undefined_of = {}, {}
    for lib, path in sorted(archives.items()):
        defined, undefined = symbols(path)
        undefined_of[lib] = undefined
        for sym in defined:
            defined_by.setdefault(sym, set()).add(lib)

    for lib in sorted(archives):
        reach = closure(lib, edges) | {lib}
        for sym in sorted(undefined_of[lib]):
            owners = defined_by.get(sym)
            if owners and not owners & reach:
                failures.append(f"{lib} uses {sym} of {'/'.join(sorted(owners))}, which it does not link")

    class_libs = collections.defaultdict(lambda: collections.defaultdict(list))
    for sym, owners in defined_by.items():
        cls = member_class(sym)
        if cls:
            for lib in owners:
                class_libs[cls][lib].append(sym)
    for cls, by_lib in sorted(class_libs.items()):
        if len(by_lib) > 1:
            home = max(by_lib, key=lambda lib: len(by_lib[lib]))
            for lib, syms in sorted(by_lib.items()):
                if lib != home:
                    for sym in sorted(syms):
                        failures.append(f"{sym} is defined in {lib}, the rest of {cls} in {home}")

    failures += include_check(source_dir, build_dir, archives, edges)

    for failure in failures:
        print(failure)
    print(f"{len(libs)} libraries, {sum(len(v) for v in edges.values())} link edges, "
          f"{len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
