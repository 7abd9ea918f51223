"""Runs a command on a pseudo-terminal and plays one scripted session with it, for the tests of terminal prompts.

Usage: pty_session.py answer|interrupt PROGRAM ARGS...
  answer     types the same password at the two prompts
  interrupt  presses Ctrl+C at the first prompt
Prints one JSON object: exit status, whether echo was off at the prompt, and everything the terminal showed.
"""
import json
import os
import pty
import select
import sys
import termios
import time

PASSWORD = b"gizli-parola-42"


def main():
    mode, command = sys.argv[1], sys.argv[2:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(command[0], command)
    shown = b""

    def read_until(token, timeout=30.0):
        nonlocal shown
        deadline = time.time() + timeout
        while token not in shown and time.time() < deadline:
            ready, _, _ = select.select([fd], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        return token in shown

    # Echo is off before a prompt shows, so the answer is typed the moment it appears.
    prompted = read_until("girin:".encode())
    echo_off = prompted and not (termios.tcgetattr(fd)[3] & termios.ECHO)
    if mode == "answer":
        os.write(fd, PASSWORD + b"\n")
        read_until("tekrar girin:".encode())
        os.write(fd, PASSWORD + b"\n")
    else:
        os.write(fd, b"\x03")
    read_until(b"\x00", timeout=60.0)
    _, status = os.waitpid(pid, 0)
    print(json.dumps({"exit": os.waitstatus_to_exitcode(status), "prompted": prompted, "echo_off": bool(echo_off),
                      "shown": shown.decode("utf-8", "replace")}, ensure_ascii=False))


main()
