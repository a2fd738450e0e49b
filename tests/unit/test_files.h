// Scratch folders and files for tests, removed when the test ends.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace testing_support {

// A fresh folder named after the running test, below the system's temporary folder. Paths
// are given with backslashes, as the core builds them; both platforms accept them.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  // The folder with a trailing separator, as a Windows-style path.
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  void MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

// A file beside the running test program (a library or stand-in built with it).
std::string BesideTestProgram(const std::string& name);

}  // namespace testing_support
