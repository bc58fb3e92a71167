// A file written for one test, in the test's temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace tts::testing {

inline std::string writeFile(const std::string& name, const std::string& content) {
  const std::string path = ::testing::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace tts::testing
