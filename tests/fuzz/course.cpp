// The course record from any text: it never throws, and what toJSON writes
// reads back to the same record.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BrocastData.h"
#include "FuzzSetup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_setup(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const std::string written = BrocastData(text).toJSON();
  if (BrocastData(written).toJSON() != written) abort();
  return 0;
}
