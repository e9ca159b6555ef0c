// Counts the heap allocations of a test program. A program that links the
// yulo_test_allocation_counter library has the global operator new and delete replaced for
// the whole program (every plain, array and nothrow form, so that memory from any of them
// may be freed by any other).
#pragma once

namespace yulo::test {

// Allocations through operator new since the program started, from every thread.
long AllocationCount();

}  // namespace yulo::test
