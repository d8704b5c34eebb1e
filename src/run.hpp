#pragma once

#include <span>

#include "choice.hpp"
#include "elements.hpp"
#include "method.hpp"
#include "threads.hpp"

// Carries out the plans that choose() makes for the open elements of a reduced instance: runs each
// method as the plan says, and where one gives up or cannot have its memory, the one the plan
// names next.

/// A method of the table, under its name.
struct method_entry {
  open_method name;
  const char* label;
  method_function solve;
};

/// Every method that answers the open elements, one entry each, in the order of open_method.
std::span<const method_entry> methods();

/// The entry of method `m`.
const method_entry& entry_of(open_method m);

/// What answered the open elements, and what it found.
struct answer {
  open_method by;
  method_result result;  ///< its best value is set
};

/// The open elements of `r` (one at least) answered as plan `p` says, with threads from `start`.
/// Throws std::bad_alloc where no method the plan names can have its memory, and rethrows what
/// a method on a thread of its own threw.
answer run(const reduced& r, const plan& p, const thread_starter& start);
