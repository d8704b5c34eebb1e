#include <iostream>
#include <new>

#include "dialogue.hpp"

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

namespace {

// Whether a person types the input: only then is a refused number asked for again.
bool input_is_terminal() {
#if __has_include(<unistd.h>)
  return isatty(STDIN_FILENO) == 1;
#else
  return false;
#endif
}

}  // namespace

int main() {
  // The dialogue reads through std::cin's buffer and flushes std::cout itself before it waits
  // for input, so the C stdio streams need no synchronisation.
  std::ios::sync_with_stdio(false);
  try {
    return run_dialogue(std::cin, std::cout, std::cerr, input_is_terminal());
  } catch (const std::bad_alloc&) {
    // Not even the error line could be built; this one needs no memory.
    std::cout.flush();
    std::cerr << "knapsack: not enough memory for this instance\n";
    return exit_unanswerable;
  }
}
