#include "plugin/typed_addresses.h"

#include <cstring>

#include "common/byte_string.h"
#include "common/name_case.h"
#include "extract/names.h"

namespace plugin {

namespace {

bool StartsWithFolded(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return text.size() >= n && common::FoldedKey(text.substr(0, n).c_str()) == prefix;
}

bool SameName(const std::string& a, const std::string& b) {
  return common::FoldedKey(a.c_str()) == common::FoldedKey(b.c_str());
}

}  // namespace

std::string TypedFolderName(const std::string& address) {
  std::string name = address.substr(0, address.find('\0'));
  for (const char* scheme : {"http://", "https://"}) {
    if (StartsWithFolded(name, scheme)) {
      name.erase(0, std::strlen(scheme));
      break;
    }
  }
  while (!name.empty() && name.back() == '/')
    name.pop_back();
  if (name.size() > limits::kMaxTypedNameLength) name.resize(limits::kMaxTypedNameLength);
  // Slashes, colons, device names and the rest are made safe as every name from the web is.
  return extract::SafeName(common::ByteString(name)).str();
}

const TypedAddresses::Typed& TypedAddresses::Add(const std::string& address,
                                                 std::string* forgotten) {
  forgotten->clear();
  for (const Typed& t : typed_)
    if (t.address == address) return t;
  if (typed_.size() >= limits::kMaxTypedAddresses) {
    *forgotten = typed_.front().name;
    typed_.erase(typed_.begin());
  }
  const std::string base = TypedFolderName(address);
  std::string name = base;
  for (int n = 2;; ++n) {
    bool taken = false;
    for (const Typed& t : typed_)
      taken = taken || SameName(t.name, name);
    if (!taken) break;
    name = base + " (" + std::to_string(n) + ")";
  }
  typed_.push_back(Typed{name, address});
  return typed_.back();
}

const std::string* TypedAddresses::AddressOf(const char* name) const {
  for (const Typed& t : typed_)
    if (SameName(t.name, name)) return &t.address;
  return nullptr;
}

}  // namespace plugin
