// The ten user-visible texts, read from a language file named in the settings file, with
// built-in English defaults, and the names of the fixed root entries derived from them.
#pragma once

#include <string>

namespace settings {

constexpr int kTextCount = 11;
constexpr int kValueSize = 260;  // every ini value is read into a buffer of this size

class LanguageStrings {
 public:
  LanguageStrings();

  // Reads the language file named by the key "file" of the section "language" of the
  // settings file. 1 when the texts were read, 0 when that key is empty (texts unchanged).
  int Load(const char* settingsFile, const char* languageFolder);
  // Loads again with the paths of the last Load.
  int Reload();

  // Text n, 1 to 10.
  const char* Text(int n) const;
  static const char* Default(int n);

  const std::string& languageFile() const { return languageFile_; }

  // Derived names, rebuilt from the current texts on every call; each fits 260 bytes.
  std::string UrlFolder() const;       // "[" text 1 "]"
  std::string BookmarkFolder() const;  // "[" text 2 "]"
  std::string LanguageFolder() const;  // "[" text 4 "]"
  std::string UrlFolderPath() const;   // "\" URL folder
  std::string BookmarkFolderPath() const;
  std::string LanguageFolderPath() const;
  std::string SettingsEntry() const;  // text 3
  std::string ErrorEntry() const;     // text 8 ".htm"

 private:
  std::string texts_[kTextCount];
  std::string settingsFile_;
  std::string languageFolder_;
  std::string languageFile_;
};

}  // namespace settings
