#pragma once
// Where the tests find the independent corpus and scratch space.
#include <string>

// Absolute path of a corpus file or folder; the QUELMAR_CORPUS environment
// variable overrides the configured folder.
std::string CorpusPath(const std::string& relative);
bool CorpusAvailable();
// A fresh scratch folder for one test (removed by the caller if it likes).
std::string ScratchDir(const std::string& name);
// True when the named program is on PATH.
bool HaveTool(const std::string& program);

// Skips the current test, saying why, when the corpus is absent.
#define REQUIRE_CORPUS()                                                        \
  do {                                                                          \
    if (!CorpusAvailable()) GTEST_SKIP() << "corpus not found at " << CorpusPath(""); \
  } while (0)
#define REQUIRE_TOOL(prog)                                                      \
  do {                                                                          \
    if (!HaveTool(prog)) GTEST_SKIP() << prog << " is not installed (make deps)"; \
  } while (0)
