#include "allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gWatching{false};
std::atomic<size_t> gLargest{0};

void* Allocate(size_t size) {
  if (gWatching.load(std::memory_order_relaxed)) {
    size_t seen = gLargest.load(std::memory_order_relaxed);
    while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace ts::test {

TAllocationProbe::TAllocationProbe() {
  gLargest = 0;
  gWatching = true;
}

TAllocationProbe::~TAllocationProbe() { gWatching = false; }

size_t TAllocationProbe::Largest() const { return gLargest.load(); }

}  // namespace ts::test
