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
import termios
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
TYPE_AGAIN = "; what was typed after it is dropped: type it again, and the rest"
TIMEOUT = 10.0


def on_screen(text):
    """Text as a terminal shows it: each line feed written becomes a carriage return and a line feed."""
    return text.replace("\n", "\r\n")


class Session:
    """The program with the terminal as its input; standard output and standard error go to the
    terminal as well, or each to a pipe of its own (read together)."""

    def __init__(self, stdout_to_pipe, stderr_to_pipe=False, command=None, canonical=True):
        self.screen = b""
        self.stdout = b""
        self.pipe = None
        if stdout_to_pipe or stderr_to_pipe:
            self.pipe, pipe_end = os.pipe()
        self.pid, self.terminal = pty.fork()
        if self.pid == 0:
            if stdout_to_pipe:
                os.dup2(pipe_end, 1)
            if stderr_to_pipe:
                os.dup2(pipe_end, 2)
            if not canonical:  # as stty -icanon leaves it: bytes handed over as they come
                mode = termios.tcgetattr(0)
                mode[3] &= ~termios.ICANON
                termios.tcsetattr(0, termios.TCSANOW, mode)
            if command:
                os.execv("/bin/sh", ["sh", "-c", command])
            os.execv(PROGRAM, [PROGRAM])
        if self.pipe is not None:
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
    s.wait_for(on_screen("type it again, and the rest\n"))
    s.type(b"100 120\n")
    s.wait_for(PROMPTS[3])
    s.type(b"10 20 30\n")
    status = s.finish()
    check("typo", status == 0, f"status {status}")
    stdout = s.stdout.decode()
    check("typo", stdout == "".join(PROMPTS) + RESULT + "220\n", repr(stdout))
    error = ("knapsack: the value of element 2 must be an integer from -2147483648 to 2147483647,"
             ' not "abc"' + TYPE_AGAIN + "\n")
    check("typo", on_screen("60 abc 120\n" + error + "100 120\n") in s.screen.decode(),
          repr(s.screen.decode()))


def paste_after_a_typo_dropped():
    # A pasted answer to every prompt, with a typo: what the terminal still holds after the typo
    # is dropped too, and the person types again from the refused number.
    s = Session(stdout_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"3\n50\n6x 100 120\n10 20 30\n")
    s.wait_for(on_screen("type it again, and the rest\n"))
    s.type(b"60 100 120\n")
    s.wait_for(PROMPTS[3])
    s.type(b"10 20 30\n")
    status = s.finish()
    check("paste", status == 0, f"status {status}")
    check("paste", s.stdout.decode() == "".join(PROMPTS) + RESULT + "220\n", repr(s.stdout))


def cut_line_asked_again():
    # 683 values of 12345 on one line, 4097 bytes: the terminal keeps 4095 of them, the last value
    # arrives as "123", and it is asked for again.
    s = Session(stdout_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"683 100000000\n")
    s.wait_for(PROMPTS[2])
    s.type(b" ".join([b"12345"] * 683) + b"\n")
    s.wait_for(on_screen("long input belongs in a pipe or a file" + TYPE_AGAIN + "\n"))
    s.type(b"12345\n")
    s.wait_for(PROMPTS[3])
    s.type(b" ".join([b"1"] * 683) + b"\n")
    status = s.finish()
    check("cut line", status == 0, f"status {status}")
    check("cut line", s.stdout.decode().endswith(RESULT + "8431635\n"), repr(s.stdout[-60:]))
    error = 'knapsack: the value of element 683 may have been cut ("123"): the terminal keeps'
    check("cut line", error in s.screen.decode(), repr(s.screen[-300:]))


def error_line_alone_in_a_file():
    # Standard error to a file: the error line is all it holds, with no line feed before it.
    s = Session(stdout_to_pipe=False, stderr_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"3" + END_OF_INPUT + END_OF_INPUT)
    status = s.finish()
    check("error to a file", status == 1, f"status {status}")
    check("error to a file", s.stdout == b"knapsack: the input ended before the capacity\n",
          repr(s.stdout))


def no_blank_line_without_the_prompts():
    # Standard output to a file: the screen shows what was typed and the error, which follows the
    # typed line with no blank line between.
    s = Session(stdout_to_pipe=True)
    s.type(b"3 50 1x\n")
    s.wait_for(on_screen(TYPE_AGAIN + "\n"))
    s.type(END_OF_INPUT)
    status = s.finish()
    check("output to a file", status == 1, f"status {status}")
    check("output to a file", "1x\r\nknapsack: the value" in s.screen.decode(), repr(s.screen))


def error_lines_on_their_own(name, screen):
    """Every error line starts a line of its own, after exactly one line feed: none glued to a
    prompt or to what was typed, and no blank line put before it."""
    text = screen.decode(errors="replace").replace("\r\n", "\n")
    start = 0
    while (at := text.find("knapsack:", start)) >= 0:
        holds = at > 0 and text[at - 1] == "\n" and not text[:at].endswith("\n\n")
        check(name, holds, repr(text[max(0, at - 60):at + 20]))
        start = at + 1


def paste_at_the_first_prompt():
    # Typed ahead: the lines were waiting, echoed, before the next prompt was written, so the error
    # for "1x" follows that prompt and must start a line of its own.
    s = Session(stdout_to_pipe=False)
    s.wait_for(PROMPTS[0])
    s.type(b"4\n1x\n5 4 3 7\n5 4 6 3\n")
    s.wait_for(on_screen(TYPE_AGAIN + "\n"))
    s.type(b"10\n")
    s.wait_for(PROMPTS[2])
    s.type(b"5 4 3 7\n5 4 6 3\n")
    status = s.finish()
    check("paste at the first prompt", status == 0, f"status {status}")
    check("paste at the first prompt", on_screen(PROMPTS[1] + "\nknapsack: the capacity") in
          s.screen.decode(), repr(s.screen.decode()))
    error_lines_on_their_own("paste at the first prompt", s.screen)


def paste_at_the_values_prompt():
    s = Session(stdout_to_pipe=False)
    s.wait_for(PROMPTS[0])
    s.type(b"4 10\n")
    s.wait_for(PROMPTS[2])
    s.type(b"5 4 3 7\n5 4 6 x\n")
    s.wait_for(on_screen(TYPE_AGAIN + "\n"))
    s.type(b"3\n")
    status = s.finish()
    check("paste at the values prompt", status == 0, f"status {status}")
    error_lines_on_their_own("paste at the values prompt", s.screen)


def slow_pipe_at_a_terminal():
    # A pipe echoes nothing: the error follows the last prompt on the screen.
    s = Session(stdout_to_pipe=False, command=f"(echo 4 10; sleep .3; echo 5 4 3 7; sleep .3; "
                                              f"echo 5 4 6 x) | {PROGRAM}")
    status = s.finish()
    check("slow pipe", status == 1, f"status {status}")
    check("slow pipe", on_screen(PROMPTS[3] + "\nknapsack: the weight of element 4") in
          s.screen.decode(), repr(s.screen.decode()))
    error_lines_on_their_own("slow pipe", s.screen)


def ctrl_d_in_mid_line_output_to_a_file():
    # Standard output to a file: the screen shows only what was typed, which Ctrl-D handed over
    # without a line feed, and the error after it must start a line of its own.
    s = Session(stdout_to_pipe=True)
    s.type(b"4 10 5 4 x" + END_OF_INPUT)
    s.wait_for(on_screen(TYPE_AGAIN + "\n"))
    s.type(END_OF_INPUT)
    status = s.finish()
    check("Ctrl-D in mid-line", status == 1, f"status {status}")
    check("Ctrl-D in mid-line", "5 4 x\r\nknapsack: the value of element 3" in s.screen.decode(),
          repr(s.screen.decode()))
    error_lines_on_their_own("Ctrl-D in mid-line", s.screen)


def typo_with_errors_to_a_file():
    # Nobody sees a refusal in a file: the run ends at once, and the file holds one line.
    s = Session(stdout_to_pipe=False, stderr_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"3\n50\n60 abc 120\n")
    status = s.finish()
    check("errors to a file", status == 1, f"status {status}")
    expected = ('knapsack: the value of element 2 must be an integer from -2147483648 to '
                '2147483647, not "abc"\n')
    check("errors to a file", s.stdout.decode() == expected, repr(s.stdout))


def line_in_two_pieces_not_cut():
    # 3003 bytes, Ctrl-D, then 3005 more and a line feed: Ctrl-D emptied the terminal's line, so
    # no more than 3005 bytes were ever held and nothing was cut.
    s = Session(stdout_to_pipe=True)
    s.wait_for(PROMPTS[0])
    s.type(b"2 100\n")
    s.wait_for(PROMPTS[2])
    s.type(b"5" + b" " * 3002 + END_OF_INPUT)
    time.sleep(0.2)
    s.type(b"6" + b" " * 3003 + b"\n")
    s.wait_for(PROMPTS[3])
    s.type(b"1 2\n")
    status = s.finish()
    check("two pieces", status == 0, f"status {status}")
    check("two pieces", s.stdout.decode().endswith(RESULT + "11\n"), repr(s.stdout[-60:]))


def long_line_without_canonical_mode():
    # stty -icanon: bytes are handed over as they come, no line is cut, nothing is refused.
    s = Session(stdout_to_pipe=True, canonical=False)
    s.wait_for(PROMPTS[0])
    s.type(b"2 100\n")
    s.wait_for(PROMPTS[2])
    s.type(b"5" + b" " * 4996 + b"6\n")
    s.wait_for(PROMPTS[3])
    s.type(b"1 2\n")
    status = s.finish()
    check("no canonical mode", status == 0, f"status {status}")
    check("no canonical mode", s.stdout.decode().endswith(RESULT + "11\n"), repr(s.stdout[-60:]))


end_of_input_is_final()
typo_asked_again()
paste_at_the_first_prompt()
paste_at_the_values_prompt()
slow_pipe_at_a_terminal()
ctrl_d_in_mid_line_output_to_a_file()
typo_with_errors_to_a_file()
line_in_two_pieces_not_cut()
long_line_without_canonical_mode()
paste_after_a_typo_dropped()
cut_line_asked_again()
error_line_alone_in_a_file()
no_blank_line_without_the_prompts()
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
