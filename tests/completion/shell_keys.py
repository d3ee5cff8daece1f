#!/usr/bin/env python3
"""Types command lines into a real interactive shell, each ended by Tab and Enter, the
way a user would, and prints what the command then received.

Usage: shell_keys.py RECORD_FILE SHELL [ARG...] < lines

The first input line is sent as it is: the shell's set-up, ending in a call of the
command, whose record shows that the shell is ready. Each further line is typed, then Tab, then Enter. The command it
runs appends its arguments to RECORD_FILE, NUL-separated and ended by a newline; for each
line this prints those arguments as [arg] [arg] ..., with a tab shown as \\t, or
"<nothing ran>" when nothing was recorded within a few seconds (an unclosed quote).
"""
import os
import pty
import select
import sys
import time

GUARD_SECONDS = 10.0  # a hang guard only; a Tab takes far less


def records(path):
    try:
        with open(path, "rb") as f:
            return f.read().split(b"\n")[:-1]
    except FileNotFoundError:
        return []


def main():
    record_file, command = sys.argv[1], sys.argv[2:]
    lines = sys.stdin.read().split("\n")
    setup, typed = lines[0], [line for line in lines[1:] if line]

    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)

    def drain_until(count):
        deadline = time.monotonic() + GUARD_SECONDS
        while time.monotonic() < deadline:
            if len(records(record_file)) >= count:
                return True
            ready, _, _ = select.select([fd], [], [], 0.02)
            if ready:
                try:
                    os.read(fd, 65536)
                except OSError:
                    return False
        return False

    os.write(fd, setup.encode() + b"\r")
    if not drain_until(1):
        sys.exit(f"shell_keys: {command[0]} did not start")
    for line in typed:
        expected = len(records(record_file)) + 1
        os.write(fd, line.encode() + b"\t")
        time.sleep(0.1)
        os.write(fd, b"\r")
        if drain_until(expected):
            words = records(record_file)[-1].split(b"\0")[:-1]
            print(" ".join("[" + w.decode().replace("\t", "\\t") + "]" for w in words))
        else:
            print("<nothing ran>")
            os.write(fd, b"\x03")  # Ctrl-C leaves the continuation prompt
            drain_until(expected)
    os.kill(pid, 9)
    os.waitpid(pid, 0)


if __name__ == "__main__":
    main()
