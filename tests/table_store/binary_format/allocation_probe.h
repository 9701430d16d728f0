// Watches the largest single allocation made through operator new while a
// probe is alive, so a test can tell that damaged input did not make the
// code reserve memory before it noticed the damage.
#pragma once

#include <cstddef>

namespace ts::test {

class TAllocationProbe {
 public:
  TAllocationProbe();
  ~TAllocationProbe();
  TAllocationProbe(const TAllocationProbe&) = delete;
  TAllocationProbe& operator=(const TAllocationProbe&) = delete;

  size_t Largest() const;
};

}  // namespace ts::test
