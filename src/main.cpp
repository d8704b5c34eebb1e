#include <iostream>

#include "dialogue.hpp"

int main() {
  // The dialogue reads through std::cin's buffer and flushes std::cout itself before it waits
  // for input, so the C stdio streams need no synchronisation.
  std::ios::sync_with_stdio(false);
  return run_dialogue(std::cin, std::cout, std::cerr);
}
