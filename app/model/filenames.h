#pragma once
// The converter's file-name rules, with "/" as the only separator.
#include <string>

// Text from the last "." to the end when no "/" follows it, else empty; keeps the ".".
std::string PathExtension(const std::string& path);
// Text after the last "/".
std::string PathFileName(const std::string& path);
// Text up to and including the last "/".
std::string PathFolder(const std::string& path);
// The file name less as many trailing characters as the extension has.
std::string PathBaseName(const std::string& path);
