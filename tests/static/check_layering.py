#!/usr/bin/python3
"""Checks that the product's folders depend in one direction only:

    base <- diagnostics <- platform <- cache <- payload <- followon <- bootstrap

A file may include from its own folder and from folders to its left, never
from one to its right and never from tests/. Every `#include "..."` of every
source and header in those folders is read; the exit code is 1 when any goes
the wrong way (each is printed), or when an include names no known folder.

Usage: check_layering.py [SOURCE_ROOT]   (default: the tree this file is in)
"""
import os
import re
import sys

LAYERS = ["base", "diagnostics", "platform", "cache", "payload", "followon", "bootstrap"]
SOURCE_SUFFIXES = (".h", ".cpp", ".c", ".def")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def violations(root):
    found = []
    for rank, layer in enumerate(LAYERS):
        folder = os.path.join(root, layer)
        if not os.path.isdir(folder):
            found.append("%s/: the folder is missing" % layer)
            continue
        for dirpath, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                shown = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match is None:
                            continue
                        target = match.group(1)
                        problem = judge(rank, target)
                        if problem:
                            found.append('%s:%d: "%s" %s' % (shown, number, target, problem))
    return found


def judge(rank, target):
    top = target.split("/", 1)[0] if "/" in target else None
    if top is None:
        return "names no folder: write it from the source root"
    if top == "tests":
        return "reaches into tests/"
    if top not in LAYERS:
        return "names a folder outside the product's layers"
    if LAYERS.index(top) > rank:
        return "goes against the order %s" % " <- ".join(LAYERS)
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(
        os.path.abspath(__file__)), os.pardir, os.pardir)
    found = violations(os.path.abspath(root))
    for line in found:
        print(line)
    if found:
        print("%d include(s) break the layering" % len(found))
        return 1
    print("layering kept: %s" % " <- ".join(LAYERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
