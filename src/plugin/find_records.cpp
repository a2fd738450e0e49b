#include "plugin/find_records.h"

#include <cstring>
#include <string>

#include "platform/unicode_text.h"

namespace plugin {

namespace {

// The fields both records have, the name aside.
template <typename From, typename To>
void CopyFields(const From& from, To* to) {
  to->attributes = from.attributes;
  to->creationTime = from.creationTime;
  to->lastAccessTime = from.lastAccessTime;
  to->lastWriteTime = from.lastWriteTime;
  to->sizeHigh = from.sizeHigh;
  to->sizeLow = from.sizeLow;
}

constexpr std::size_t kWideNameUnits = sizeof FindDataW::fileName / sizeof(WideChar);

}  // namespace

void ToWideRecord(const platform::FindData& narrow, FindDataW* wide) {
  std::memset(wide, 0, sizeof *wide);
  CopyFields(narrow, wide);
  const std::string name(narrow.fileName, strnlen(narrow.fileName, sizeof narrow.fileName));
  platform::CopyUtf16(wide->fileName, kWideNameUnits, platform::Utf8ToUtf16(name));
}

void ToNarrowRecord(const FindDataW& wide, platform::FindData* narrow) {
  platform::ClearFindData(narrow);
  CopyFields(wide, narrow);
  const std::u16string units(wide.fileName, platform::Utf16Length(wide.fileName, kWideNameUnits));
  const std::string name = platform::Utf16ToUtf8(units);
  // Room for the terminator; a cut inside a character goes back to its first byte.
  std::size_t n = name.size() < sizeof narrow->fileName ? name.size() : sizeof narrow->fileName - 1;
  while (n > 0 && n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
    --n;
  std::memcpy(narrow->fileName, name.data(), n);
}

}  // namespace plugin
