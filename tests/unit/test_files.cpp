#include "test_files.h"

#include <filesystem>
#include <sstream>

namespace testing_support {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("fl-") + (info ? info->test_suite_name() : "suite") + "-" +
                     (info ? info->name() : "test");
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
  }
  fs::path root = fs::temp_directory_path() / name;
  fs::remove_all(root);
  fs::create_directories(root);
  path_ = root.string() + char(fs::path::preferred_separator);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(File(name), std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string ScratchFolder::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ScratchFolder::Exists(const std::string& name) const {
  return fs::exists(File(name));
}

void ScratchFolder::MakeFolder(const std::string& name) const {
  fs::create_directories(File(name));
}

std::string BesideTestProgram(const std::string& name) {
  char self[260];
  platform::ModulePath(nullptr, self, sizeof self);
  const std::string path(self);
  return path.substr(0, path.find_last_of("/\\") + 1) + name;
}

}  // namespace testing_support
