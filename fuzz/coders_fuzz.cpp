// libFuzzer entry: the LZW and fax coders alone (see coders_target.h).
// CODERS_FUZZ=gif|tiff|fax keeps a run on one family of coders.
#include <cstdlib>
#include <cstring>

#include "fuzz/coders_target.h"

namespace {

int Family() {
  const char* only = std::getenv("CODERS_FUZZ");
  if (!only) return -1;
  if (std::strcmp(only, "gif") == 0) return 0;
  if (std::strcmp(only, "tiff") == 0) return 1;
  if (std::strcmp(only, "fax") == 0) return 2;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int family = Family();
  RunCodersTarget(data, size, family);
  return 0;
}
