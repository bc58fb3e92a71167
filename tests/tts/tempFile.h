// A file written for one test, in the test's temporary directory. CTest runs
// each test in a process of its own, side by side: the process number keeps
// one test from rewriting the file another is reading.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace tts::testing {

inline std::string writeFile(const std::string& name, const std::string& content) {
  const std::string path = ::testing::TempDir() + "/" + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace tts::testing
