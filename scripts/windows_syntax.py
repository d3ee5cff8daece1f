#!/usr/bin/env python3
"""Compiles each product source of a mingw-w64 compile_commands.json with -fsyntax-only.

Usage: windows_syntax.py SOURCE_ROOT COMPILE_COMMANDS_JSON
"""
import json, shlex, subprocess, sys
root, commands = sys.argv[1], json.load(open(sys.argv[2]))
product = ("common/", "config/", "site/", "survey/", "app/")
failed = 0
checked = 0
for entry in commands:
    source = entry["file"]
    relative = source[len(root) + 1:] if source.startswith(root + "/") else source
    if not relative.startswith(product):
        continue
    words, skip = [], False
    for word in shlex.split(entry["command"]):
        if skip or word in ("-c", "-MD"):
            skip = False
        elif word in ("-o", "-MT", "-MF"):
            skip = True
        elif word != source:
            words.append(word)
    result = subprocess.run(words + ["-fsyntax-only", source], cwd=entry["directory"],
                            capture_output=True, text=True)
    checked += 1
    if result.returncode != 0:
        failed += 1
        print(result.stderr, file=sys.stderr)
print(f"check-windows-syntax: {checked} sources, {failed} failed")
sys.exit(1 if failed else 0)
