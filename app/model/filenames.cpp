#include "app/model/filenames.h"

std::string PathExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  if (path.find('/', dot) != std::string::npos) return {};
  return path.substr(dot);
}

std::string PathFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string PathBaseName(const std::string& path) {
  const std::string name = PathFileName(path);
  const size_t cut = PathExtension(path).size();
  return name.substr(0, name.size() >= cut ? name.size() - cut : 0);
}
