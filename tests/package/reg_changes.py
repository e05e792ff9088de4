#!/usr/bin/env python3
"""Prints the registry keys of a Wine prefix that differ between two copies of its .reg
files, leaving out what Wine itself rewrites at every start (its display devices, network
cards and font cache, and the keys' write times).

    reg_changes.py BEFORE_DIR AFTER_DIR
"""
import os
import sys

WINE_OWN = ("system\\\\currentcontrolset\\\\control\\\\class\\\\", "system\\\\currentcontrolset\\\\enum\\\\",
            "system\\\\currentcontrolset\\\\control\\\\video", "hardware\\\\",
            "software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards", "software\\\\wine\\\\fonts")


def keys(folder):
    out = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".reg"):
            continue
        key = None
        for line in open(os.path.join(folder, name), encoding="utf-8", errors="replace"):
            line = line.rstrip("\n")
            if line.startswith("["):
                key = name + ":" + line[: line.index("]") + 1]
                out.setdefault(key, set())
            elif key and line and not line.startswith("#"):
                out[key].add(line)
    return out


before, after = keys(sys.argv[1]), keys(sys.argv[2])
for key in sorted(set(before) | set(after)):
    if before.get(key) != after.get(key) and not key.split(":", 1)[1][1:].lower().startswith(WINE_OWN):
        print(key)
