// One listing shows every name once: the host finds entries by name, letter case aside.
#pragma once

#include <vector>

#include "common/byte_string.h"

namespace extract {

// Gives every name that an earlier one already has (letter case aside) " (2)", " (3)", ...:
// before the extension of a file name ("IMG_1 (2).jpg"), at the end of a folder name
// ("Twice (2)"). The name before the suffix is cut so that the whole stays within
// kMaxNameLength bytes.
void MakeNamesUnique(std::vector<common::ByteString>* names, bool folders);

// The same for UTF-8 names (the wide calls' side): names are compared with
// common::FoldedUtf8Key, and a name is only ever cut between two characters.
void MakeUtf8NamesUnique(std::vector<common::ByteString>* names, bool folders);

// The same for a folder holding both kinds: folders[i] says whether names[i] is a folder.
void MakeNamesUnique(std::vector<common::ByteString>* names, const std::vector<bool>& folders);
void MakeUtf8NamesUnique(std::vector<common::ByteString>* names, const std::vector<bool>& folders);

}  // namespace extract
