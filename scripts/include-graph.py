#!/usr/bin/env python3
"""The include graph of the folders, and the check that no folder includes a higher layer's header.

    scripts/include-graph.py                 the graph in Graphviz's dot language on stdout
    scripts/include-graph.py --png FILE      the same drawn into FILE (needs Graphviz's dot)
    scripts/include-graph.py --check         exit 1, naming each file, when an include runs upward

Layers, from the bottom: what every component shares, then Quillon's own layers, each using only
those below it. The file formats (codec/) stand on common/ alone: the fuzz targets build them for
the host. Ferrule, Gimlet, the launcher and the support library stand on common/ alone, the
SDK's interfaces stand beside it, and the stand-ins may use anything: they never ship. Tests,
benchmarks and fuzz targets are outside the graph.
"""
import argparse
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# folder -> layer; a folder may include only folders of a lower layer (or its own).
LAYERS = {
    "common": 0, "sdk": 0,
    "codec": 0.5,  # the contact record, which every format writes and reads
    "codec/vcard": 1,
    "codec/csv": 1.5, "codec/ldif": 1.5,  # other formats, over the vCard codec's converters
    "base": 1, "wabext": 1, "mailaddin": 1, "launcher": 1, "libbrisco": 1,
    "wab": 2,
    "contact": 3,
    "ui": 4,
    "vcard": 5,
    "vcard/import": 6, "vcard/export": 6,
    "app": 7,
    "standins": 9,
}
# The support library's interface is ours and ships; the binding in base/ calls it.
ALLOWED = {("base", "libbrisco")}
# Headers widl generates from an IDL, by the folder of the IDL.
GENERATED = {"tanager.h": "sdk", "tanager_site.h": "standins"}
SOURCES = (".cpp", ".h", ".rc", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"|^\s*import\s+"([^"]+)"')


def folder_of(path):
    """The layer folder a repository path belongs to, or None."""
    parts = path.split("/")
    if len(parts) > 2 and "/".join(parts[:2]) in LAYERS:
        return "/".join(parts[:2])
    return parts[0] if parts[0] in LAYERS else None


def edges():
    """{(from, to): [files]} over every source of the layered folders."""
    found = {}
    for top in sorted({f.split("/")[0] for f in LAYERS}):
        for dirpath, _, names in os.walk(os.path.join(ROOT, top)):
            for name in sorted(names):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), ROOT)
                source = folder_of(path)
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
                    for line in f:
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1) or m.group(2)
                        if "/" in target:
                            dest = folder_of(target)
                        else:
                            dest = GENERATED.get(target)
                        if dest and dest != source:
                            found.setdefault((source, dest), []).append(path)
    return found


def upward(found):
    return {e: files for e, files in found.items()
            if LAYERS[e[1]] >= LAYERS[e[0]] and e not in ALLOWED}


def dot(found):
    bad = upward(found)
    out = ["digraph folders {", '  rankdir=TB; node [shape=box, fontname="Helvetica"];',
           '  edge [color="#555555", fontname="Helvetica", fontsize=10];']
    for layer in sorted(set(LAYERS.values())):
        names = " ".join('"%s"' % f for f in sorted(LAYERS)
                         if LAYERS[f] == layer and os.path.isdir(os.path.join(ROOT, f)))
        if names:
            out.append("  { rank=same; %s }" % names)
    for (a, b), files in sorted(found.items()):
        style = ', color="red", penwidth=2' if (a, b) in bad else ""
        out.append('  "%s" -> "%s" [label="%d"%s];' % (a, b, len(files), style))
    out.append("}")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--png")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    found = edges()
    if args.check:
        bad = upward(found)
        for (a, b), files in sorted(bad.items()):
            for f in sorted(set(files)):
                print("%s includes %s/, a higher layer" % (f, b))
        return 1 if bad else 0
    if args.png:
        subprocess.run(["dot", "-Tpng", "-o", args.png], input=dot(found).encode(), check=True)
    else:
        sys.stdout.write(dot(found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
