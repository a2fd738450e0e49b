#include "settings/language_strings.h"

#include <cstdio>
#include <cstring>

#include "common/fixed_text.h"
#include "platform/platform.h"

namespace settings {

namespace {

const char* const kDefaults[kTextCount] = {
    "connection",
    "add bookmark",
    "settings",
    "choose language",
    "Found a new version of the plug. Download?",
    "bookmark",
    "name bookmark",
    "error",
    "download",
    "cancel",
    "This name holds letters the system's code page cannot store: it was not taken.",
};

// Formats into a 260-byte buffer as the derived names are built: longer results are cut.
std::string Format260(const char* format, const char* value) {
  char buffer[kValueSize];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

LanguageStrings::LanguageStrings() {
  for (int i = 0; i < kTextCount; ++i)
    texts_[i] = kDefaults[i];
}

int LanguageStrings::Load(const char* settingsFile, const char* languageFolder) {
  settingsFile_ = settingsFile ? settingsFile : "";
  languageFolder_ = languageFolder ? languageFolder : "";
  char name[kValueSize];
  platform::ReadIniValue("language", "file", "1", name, sizeof name, settingsFile_.c_str());
  if (name[0] == '\0') return 0;
  char path[kValueSize];
  common::CopyCut(path, (languageFolder_ + "\\" + name).c_str());
  languageFile_ = path;
  for (int n = 1; n <= kTextCount; ++n) {
    char key[16], value[kValueSize];
    std::snprintf(key, sizeof key, "%d", n);
    platform::ReadIniValue("language", key, "-1", value, sizeof value, path);
    // An empty text would name nothing, and every name contains it: it counts as missing.
    texts_[n - 1] = value[0] == '\0' || std::strstr(value, "-1") ? kDefaults[n - 1] : value;
  }
  return 1;
}

int LanguageStrings::Reload() {
  return Load(settingsFile_.c_str(), languageFolder_.c_str());
}

const char* LanguageStrings::Text(int n) const {
  return n >= 1 && n <= kTextCount ? texts_[n - 1].c_str() : "";
}

const char* LanguageStrings::Default(int n) {
  return n >= 1 && n <= kTextCount ? kDefaults[n - 1] : "";
}

std::string LanguageStrings::UrlFolder() const {
  return Format260("[%s]", Text(1));
}
std::string LanguageStrings::BookmarkFolder() const {
  return Format260("[%s]", Text(2));
}
std::string LanguageStrings::LanguageFolder() const {
  return Format260("[%s]", Text(4));
}
std::string LanguageStrings::UrlFolderPath() const {
  return Format260("\\%s", UrlFolder().c_str());
}
std::string LanguageStrings::BookmarkFolderPath() const {
  return Format260("\\%s", BookmarkFolder().c_str());
}
std::string LanguageStrings::LanguageFolderPath() const {
  return Format260("\\%s", LanguageFolder().c_str());
}
std::string LanguageStrings::SettingsEntry() const {
  return Text(3);
}
std::string LanguageStrings::ErrorEntry() const {
  return Format260("%s.htm", Text(8));
}

}  // namespace settings
