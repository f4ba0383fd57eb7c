#include "tests/support/corpus.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

std::string CorpusPath(const std::string& relative) {
  const char* env = std::getenv("QUELMAR_CORPUS");
  fs::path base = env && *env ? fs::path(env) : fs::path(QUELMAR_CORPUS_DIR);
  return (base / relative).lexically_normal().string();
}

bool CorpusAvailable() { return fs::is_directory(CorpusPath("")); }

std::string ScratchDir(const std::string& name) {
  fs::path dir = fs::path(QUELMAR_BINARY_DIR) / "scratch" / (name + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

bool HaveTool(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string p = path;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    fs::path cand = fs::path(p.substr(start, end - start)) / program;
    if (::access(cand.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}
