// The addresses typed at the address prompt. Each gets a folder of its own under the address
// folder, named after the address and kept while the module is loaded, so that two panels
// showing two typed addresses never share a path (and so a kept listing or a copy).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/limits.h"

namespace plugin {

class TypedAddresses {
 public:
  struct Typed {
    std::string name;     // the folder's name, in the code page as the host shows it
    std::string address;  // the address as typed
  };

  // The folder of address: the one it got when it was typed before, else a new one named
  // after the address, unique among the kept (letter case aside, as the host compares
  // paths). Where the oldest folder goes to make room, *forgotten receives its name (empty
  // otherwise), so that what was kept under it can go too.
  const Typed& Add(const std::string& address, std::string* forgotten);
  // The address of the folder called name; null when no typed address has that folder.
  const std::string* AddressOf(const char* name) const;
  // The folders, oldest first.
  const std::vector<Typed>& all() const { return typed_; }

 private:
  std::vector<Typed> typed_;
};

// The folder name an address is shown by: the address without its scheme and last slash,
// each character a file name cannot hold made "_", cut to kMaxTypedNameLength bytes.
std::string TypedFolderName(const std::string& address);

}  // namespace plugin
