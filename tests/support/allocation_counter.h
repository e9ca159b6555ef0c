// Counts the heap allocations of a test program. A program that calls AllocationCount
// links allocation_counter.cpp, whose replacements of the global operator new and delete
// then serve the whole program (every plain, array and nothrow form, so that memory from
// any of them may be freed by any other).
#pragma once

namespace yulo::test {

// Allocations through operator new since the program started, from every thread.
long AllocationCount();

}  // namespace yulo::test
