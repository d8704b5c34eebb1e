#!/usr/bin/env python3
"""Usage: terminal_test.py PROGRAM

Runs the program on a pseudo-terminal, typing as a person would, and checks what the person sees
(prompts, echo and error lines, all on one screen) and what standard output and the exit status
carry.
"""
import os
import pty
import select
import sys
import time

PROGRAM = sys.argv[1]
PROMPTS = [
    "\n\t Enter number of elements : ",
    "\n\t Enter the capacity of knapsack : ",
    "\n\t Enter the value/cost of all elements : ",
    "\n\t Enter the weight of all elements : ",
]
RESULT = "\n\t Maximum total value in the knapsack : "
END_OF_INPUT = b"\x04"  # Ctrl-D
TIMEOUT = 10.0


def on_screen(text):
    """Text as a terminal shows it: each line feed written becomes a carriage return and a line feed."""
    return text.replace("\n", "\r\n")


class Session:
    """The program with the terminal as its input and error output; standard output goes to the
    terminal as well, or to a pipe of its own."""

    def __init__(self, stdout_to_pipe):
        self.screen = b""
        self.stdout = b""
        self.pipe = None
        if stdout_to_pipe:
            self.pipe, pipe_end = os.pipe()
        self.pid, self.terminal = pty.fork()
        if self.pid == 0:
            if stdout_to_pipe:
                os.dup2(pipe_end, 1)
            os.execv(PROGRAM, [PROGRAM])
        if stdout_to_pipe:
            os.close(pipe_end)

    def _read_some(self, deadline):
        """Reads what the program has written; False once it has closed everything."""
        sources = [fd for fd in (self.terminal, self.pipe) if fd is not None]
        if not sources:
            return False
        ready, _, _ = select.select(sources, [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            raise TimeoutError("the program wrote nothing more; seen:\n" + repr(self.seen()))
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:  # the terminal is gone once the program has ended
                data = b""
            if fd == self.terminal:
                self.screen += data
                if not data:
                    self.terminal = None
            else:
                self.stdout += data
                if not data:
                    self.pipe = None
        return True

    def seen(self):
        return (self.screen + self.stdout).decode(errors="replace")

    def wait_for(self, text):
        deadline = time.monotonic() + TIMEOUT
        while text not in self.seen():
            if not self._read_some(deadline):
                raise AssertionError(f"never showed {text!r}; seen:\n{self.seen()!r}")

    def type(self, keys):
        os.write(self.terminal, keys)

    def finish(self):
        """Reads to the end and returns the exit status; the program must end by itself."""
        deadline = time.monotonic() + TIMEOUT
        while self._read_some(deadline):
            pass
        _, status = os.waitpid(self.pid, 0)
        return os.waitstatus_to_exitcode(status)


failures = []


def check(name, holds, detail):
    if not holds:
        failures.append(f"{name}: {detail}")


def end_of_input_is_final():
    # "3" then Ctrl-D hands over the 3, a second Ctrl-D ends the input; what is typed after that
    # must not be read: the program asks for the capacity, finds the input ended and stops.
    s = Session(stdout_to_pipe=False)
    s.wait_for(PROMPTS[0])
    s.type(b"3" + END_OF_INPUT + END_OF_INPUT)
    s.wait_for(on_screen("knapsack: the input ended before the capacity\n"))
    s.type(b"50 60 100 120 10 20 30\n")
    status = s.finish()
    check("end of input", status == 1, f"status {status}")
    # The error starts on a line of its own, not after the prompt. (The terminal still echoes
    # what was typed after the end.)
    expected = on_screen(PROMPTS[1] + "\nknapsack: the input ended before the capacity\n")
    check("end of input", expected in s.screen.decode(), repr(s.screen.decode()))


def typo_asked_again():
    # A typo drops the rest of its line and asks again; standard output does not change.
    s = Session(stdout_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"3\n")
    s.wait_for(PROMPTS[1])
    s.type(b"50\n")
    s.wait_for(PROMPTS[2])
    s.type(b"60 abc 120\n")
    s.wait_for(on_screen("what followed it on that line\n"))
    s.type(b"100 120\n")
    s.wait_for(PROMPTS[3])
    s.type(b"10 20 30\n")
    status = s.finish()
    check("typo", status == 0, f"status {status}")
    stdout = s.stdout.decode()
    check("typo", stdout == "".join(PROMPTS) + RESULT + "220\n", repr(stdout))
    error = ("knapsack: the value of element 2 must be an integer from -2147483648 to 2147483647,"
             ' not "abc"; type it again, and what followed it on that line\n')
    check("typo", on_screen("60 abc 120\n" + error + "100 120\n") in s.screen.decode(),
          repr(s.screen.decode()))


end_of_input_is_final()
typo_asked_again()
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
