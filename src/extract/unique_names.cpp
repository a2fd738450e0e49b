#include "extract/unique_names.h"

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "common/name_case.h"
#include "extract/names.h"

namespace extract {

namespace {

// Where the suffix goes: before the last dot of a file name (a leading dot starts no
// extension), at the end of a folder name.
std::size_t SuffixAt(const std::string& name, bool folders) {
  if (folders) return name.size();
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name.size() : dot;
}

std::string WithSuffix(const std::string& name, bool folders, unsigned n) {
  const std::size_t at = SuffixAt(name, folders);
  const std::string suffix = " (" + std::to_string(n) + ")";
  std::string extension = name.substr(at);
  std::string stem = name.substr(0, at);
  if (suffix.size() + extension.size() > kMaxNameLength) extension.clear();
  const std::size_t room = kMaxNameLength - suffix.size() - extension.size();
  if (stem.size() > room) stem.resize(room);
  return stem + suffix + extension;
}

}  // namespace

void MakeNamesUnique(std::vector<common::ByteString>* names, bool folders) {
  std::unordered_set<std::string> taken;
  // The next number to try for each name met twice: a page of many equal names numbers
  // them in one pass, not by trying every number again for each.
  std::unordered_map<std::string, unsigned> next;
  taken.reserve(names->size() * 2);
  for (common::ByteString& name : *names) {
    const std::string plain = name.c_str();
    const std::string key = common::FoldedKey(plain.c_str());
    if (taken.insert(key).second) continue;
    unsigned& n = next.emplace(key, 2).first->second;
    for (;; ++n) {
      const std::string candidate = WithSuffix(plain, folders, n);
      if (taken.insert(common::FoldedKey(candidate.c_str())).second) {
        name = candidate;
        break;
      }
    }
  }
}

}  // namespace extract
