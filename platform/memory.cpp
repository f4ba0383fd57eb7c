#include "platform/memory.h"

#include <fstream>
#include <limits>
#include <sstream>

int64_t ParseMemAvailable(const std::string& meminfo) {
  std::istringstream in(meminfo);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    long long kib = 0;
    std::string unit;
    if (!(fields >> kib) || kib < 0) return 0;
    fields >> unit;
    const int64_t scale = unit == "kB" || unit.empty() ? 1024 : 1;
    if (kib > std::numeric_limits<int64_t>::max() / scale) return std::numeric_limits<int64_t>::max();
    return int64_t(kib) * scale;
  }
  return 0;
}

int64_t AvailablePhysicalMemory() {
  std::ifstream file("/proc/meminfo");
  if (!file) return 0;
  std::ostringstream text;
  text << file.rdbuf();
  return ParseMemAvailable(text.str());
}
