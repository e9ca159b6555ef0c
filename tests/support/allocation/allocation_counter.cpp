#include "support/allocation/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

void* Allocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

// The engine uses no exceptions: running out of memory in a test ends it at once.
void* AllocateOrAbort(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  std::abort();
}

}  // namespace

namespace yulo::test {

long AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

}  // namespace yulo::test

void* operator new(std::size_t size) {
  return AllocateOrAbort(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrAbort(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
