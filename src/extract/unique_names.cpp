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

// Where a cut of text to at most room bytes ends: before a UTF-8 continuation byte never,
// when utf8 is set.
std::size_t CutAt(const std::string& text, std::size_t room, bool utf8) {
  if (text.size() <= room) return text.size();
  if (utf8) {
    while (room > 0 && (static_cast<unsigned char>(text[room]) & 0xC0) == 0x80)
      --room;
  }
  return room;
}

std::string WithSuffix(const std::string& name, bool folders, unsigned n, bool utf8) {
  const std::size_t at = SuffixAt(name, folders);
  const std::string suffix = " (" + std::to_string(n) + ")";
  std::string extension = name.substr(at);
  std::string stem = name.substr(0, at);
  if (suffix.size() + extension.size() > kMaxNameLength) extension.clear();
  const std::size_t room = kMaxNameLength - suffix.size() - extension.size();
  stem.resize(CutAt(stem, room, utf8));
  return stem + suffix + extension;
}

void MakeUnique(std::vector<common::ByteString>* names, const std::vector<bool>& folders,
                bool utf8) {
  const auto keyOf = [utf8](const std::string& text) {
    return utf8 ? common::FoldedUtf8Key(text.c_str()) : common::FoldedKey(text.c_str());
  };
  std::unordered_set<std::string> taken;
  // The next number to try for each name met twice: a page of many equal names numbers
  // them in one pass, not by trying every number again for each.
  std::unordered_map<std::string, unsigned> next;
  taken.reserve(names->size() * 2);
  for (std::size_t i = 0; i < names->size(); ++i) {
    common::ByteString& name = (*names)[i];
    const bool folder = i < folders.size() && folders[i];
    const std::string plain = name.c_str();
    const std::string key = keyOf(plain);
    if (taken.insert(key).second) continue;
    unsigned& n = next.emplace(key, 2).first->second;
    for (;; ++n) {
      const std::string candidate = WithSuffix(plain, folder, n, utf8);
      if (taken.insert(keyOf(candidate)).second) {
        name = candidate;
        break;
      }
    }
  }
}

}  // namespace

void MakeNamesUnique(std::vector<common::ByteString>* names, bool folders) {
  MakeUnique(names, std::vector<bool>(names->size(), folders), false);
}

void MakeUtf8NamesUnique(std::vector<common::ByteString>* names, bool folders) {
  MakeUnique(names, std::vector<bool>(names->size(), folders), true);
}

void MakeNamesUnique(std::vector<common::ByteString>* names, const std::vector<bool>& folders) {
  MakeUnique(names, folders, false);
}

void MakeUtf8NamesUnique(std::vector<common::ByteString>* names, const std::vector<bool>& folders) {
  MakeUnique(names, folders, true);
}

}  // namespace extract
