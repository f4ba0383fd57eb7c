// libFuzzer entry: every reader through the controller (see load_target.h).
#include "fuzz/load_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunLoadTarget(data, size);
  return 0;
}
