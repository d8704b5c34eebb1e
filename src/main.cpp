#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include "dialogue.hpp"
#include "machine.hpp"

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif
#if __has_include(<sys/stat.h>)
#include <sys/stat.h>
#endif
#if __has_include(<termios.h>)
#include <termios.h>
#endif
#if __has_include(<sys/ioctl.h>)
#include <sys/ioctl.h>
#endif
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

// The entry point: it sets up what the whole process shares, learns how the standard streams meet
// a terminal, tells the solver where to read what of the machine it may use, should its plan need
// that, and hands the streams to the dialogue, whose exit status it returns. Everything here speaks
// to the system; nothing decides how an instance is answered.
//
// Running out of memory anywhere ends in one line and status 2, from the handler below, since
// unwinding may itself need memory; freed heap blocks are kept for the next list rather than
// returned and touched afresh; the C++ streams skip their synchronisation with C's, since the
// dialogue flushes standard output itself before it waits for input.

namespace {

// Whether `descriptor` is a terminal, and which.
struct terminal_at {
  bool is_terminal = false;
  unsigned long long device = 0;
};

terminal_at terminal_of(int descriptor) {
#if __has_include(<unistd.h>) && __has_include(<sys/stat.h>)
  struct stat status {};
  if (isatty(descriptor) == 1 && fstat(descriptor, &status) == 0) {
    return {true, static_cast<unsigned long long>(status.st_rdev)};
  }
#endif
  (void)descriptor;
  return {};
}

// Discards what the terminal holds of the input, typed but not yet read.
void drop_typed_ahead() {
#if __has_include(<termios.h>)
  tcflush(STDIN_FILENO, TCIFLUSH);
#endif
}

// Bytes the terminal holds of the input, typed but not yet read.
std::uint64_t typed_ahead() {
#if __has_include(<sys/ioctl.h>) && defined(FIONREAD)
  int bytes = 0;
  if (ioctl(STDIN_FILENO, FIONREAD, &bytes) == 0 && bytes > 0)
    return static_cast<std::uint64_t>(bytes);
#endif
  return 0;
}

// Whether the terminal at standard input hands over whole lines, as it does unless a program
// has set it otherwise (stty -icanon).
bool canonical_input() {
#if __has_include(<termios.h>)
  termios mode{};
  return tcgetattr(STDIN_FILENO, &mode) == 0 && (mode.c_lflag & ICANON) != 0;
#else
  return true;
#endif
}

// Which of the standard streams share the terminal standard error writes to: a person sees the
// errors there, and the prompts and the echo of what is typed where those are the same terminal.
terminal_use terminal_in_use() {
  const terminal_at input = terminal_of(0);
  const terminal_at output = terminal_of(1);
  const terminal_at error = terminal_of(2);
  const bool echo = error.is_terminal && input.is_terminal && input.device == error.device;
  return {
      .ask_again = echo,
      .errors_on_screen = error.is_terminal,
      .prompts_on_screen = error.is_terminal && output.is_terminal && output.device == error.device,
      .echo_on_screen = echo,
      .canonical = input.is_terminal && canonical_input(),
      .drop_typed_ahead = drop_typed_ahead,
      .typed_ahead = typed_ahead};
}

// Whatever runs out of memory, the reader's lists or the text of an error line, ends here in one
// line and status 2: unwinding an exception can itself need memory that is not there. The
// whole table is allocated without this handler, and falls back to less memory instead.
// The line goes through C's unbuffered stderr, which is there even while the C++ streams are
// still being set up.
[[noreturn]] void out_of_memory() {
  std::cout.flush();
  std::fputs("knapsack: not enough memory for this instance\n", stderr);
  std::_Exit(exit_unanswerable);
}

// The solver's working lists, a few megabytes each, are allocated and freed in turn. Blocks of up
// to 4 MiB come from the heap, and freed ones stay there for the next, instead of going back to
// the system each time: where first touching fresh memory is dear (a virtual machine), that cuts
// a quarter of the time of a 100000-element instance. Larger blocks, such as the element lists
// of a million elements as they grow, still come from the system and go back to it.
void keep_freed_memory() {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace

int main() {
  keep_freed_memory();
  std::set_new_handler(out_of_memory);
  std::ios::sync_with_stdio(false);
  return run_dialogue(std::cin, std::cout, std::cerr, terminal_in_use(),
                      {.machine = [] { return read_machine_limits(); }});
}
