// Without libFuzzer: runs the fuzz target over the files named on the command
// line. `load_replay --write-hostile DIR` writes the hostile tiny files of
// fuzz/hostile.h into DIR instead (each with its selector byte in front).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/hostile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-hostile") == 0) {
    for (const THostileFile& f : HostileFiles()) {
      std::ofstream out(std::string(argv[2]) + "/" + f.Name, std::ios::binary);
      out.put(char(f.Selector));
      out.write(reinterpret_cast<const char*>(f.Bytes.data()), std::streamsize(f.Bytes.size()));
    }
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream f(argv[i], std::ios::binary);
    std::vector<uint8_t> v((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(v.data(), v.size());
  }
  std::printf("replayed %d inputs\n", argc - 1);
  return 0;
}
