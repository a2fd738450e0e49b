#include "server_log.h"

#include <cstdlib>
#include <fstream>

namespace testing_support {

std::vector<std::string> LoggedRequests() {
  const char* path = std::getenv("FL_HTTP_LOG");
  std::vector<std::string> lines;
  if (!path) return lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::vector<std::string> LoggedSince(std::size_t from) {
  std::vector<std::string> all = LoggedRequests();
  if (from >= all.size()) return {};
  return std::vector<std::string>(all.begin() + long(from), all.end());
}

std::string Field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\": ";
  std::size_t at = line.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  if (line[at] == '"') {
    const std::size_t end = line.find('"', at + 1);
    return line.substr(at + 1, end - at - 1);
  }
  return line.substr(at, line.find_first_of(",}", at) - at);
}

}  // namespace testing_support
