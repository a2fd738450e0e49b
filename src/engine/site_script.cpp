#include "engine/site_script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace engine {

namespace {

using common::ByteString;

// Values are read into buffers of the system's path size: at most 259 characters.
constexpr std::size_t kValueSize = 260;

class ScriptReader {
 public:
  ScriptReader(const std::string& file, const ByteString& section)
      : file_(file), section_(section) {}
  ByteString Read(const char* key, const char* fallback = kAbsent) const {
    char value[kValueSize];
    platform::ReadIniValue(section_.c_str(), key, fallback, value, sizeof value, file_.c_str());
    return value;
  }

 private:
  const std::string& file_;
  const ByteString& section_;
};

bool Absent(const ByteString& v) {
  return std::strcmp(v.c_str(), kAbsent) == 0;
}

// The leading decimal number of a value; 0 without digits, held to the range of an int.
int Number(const ByteString& v) {
  const long n = std::strtol(v.c_str(), nullptr, 10);
  if (n > 2147483647L) return 2147483647;
  if (n < -2147483647L - 1) return -2147483647 - 1;
  return int(n);
}

}  // namespace

bool ReadScript(const std::string& scriptsFolder, const ByteString& host, ByteString* scriptName,
                std::string* path, SiteScript* s) {
  *path = scriptsFolder + scriptName->c_str();
  ByteString value = ScriptReader(*path, *scriptName).Read("FileExpression");
  if (Absent(value)) {
    *scriptName = host;
    *path = scriptsFolder + host.c_str();
    value = ScriptReader(*path, *scriptName).Read("FileExpression");
    if (Absent(value)) return false;
  }
  const ScriptReader r(*path, *scriptName);
  s->fileExpression = value;

  // The required keys, in the order they are read; the first absent one rejects the script.
  ByteString* const texts[] = {&s->dirExpression, &s->albumExpression, &s->fotoExpression,
                               &s->urlFoto,       &s->urlPrev,         &s->urlAlbum,
                               &s->nameFoto,      &s->nameAlbum,       &s->nextPageFoto,
                               &s->nextPageAlbum, &s->ifNextPageFoto,  &s->ifNextPageAlbum};
  const char* const textKeys[] = {"DirExpression", "AlbumExpression", "FotoExpression",
                                  "UrlFoto",       "UrlPrev",         "UrlAlbum",
                                  "NameFoto",      "NameAlbum",       "NextPageFoto",
                                  "NextPageAlbum", "IfNextPageFoto",  "IfNextPageAlbum"};
  for (std::size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
    value = r.Read(textKeys[i]);
    // The paging keys may be "-1": that kind of page has no next page.
    const bool paging = texts[i] == &s->nextPageFoto || texts[i] == &s->nextPageAlbum ||
                        texts[i] == &s->ifNextPageFoto || texts[i] == &s->ifNextPageAlbum;
    if (Absent(value) && !paging) return false;
    *texts[i] = value;
  }
  int* const numbers[] = {&s->albumGroup, &s->utf};
  const char* const numberKeys[] = {"Album", "Utf"};
  for (std::size_t i = 0; i < 2; ++i) {
    value = r.Read(numberKeys[i]);
    if (Absent(value)) return false;
    *numbers[i] = Number(value);
  }
  // A gallery has no users: without User (or with 0) its addresses name no user.
  const int user = Number(r.Read("User", "0"));
  s->userGroup = user > 0 ? user : 0;
  value = r.Read("OrigExpression");
  if (Absent(value)) return false;
  s->origExpression = value;

  s->urlOrig = r.Read("UrlOrig");
  s->servFoto = r.Read("ServFoto");
  s->eroWarning = r.Read("EroWarning");
  s->hasEroWarning = !Absent(s->eroWarning);
  s->passExpression = r.Read("PassExpression");
  s->passFoto = r.Read("PassFoto", s->urlFoto.c_str());
  s->passPrev = r.Read("PassPrev");
  s->passSendForm = r.Read("PassSendForm");
  s->passRequestWrong = r.Read("PassRequestWrong");
  s->passRequest = r.Read("PassRequest");
  s->hasPassRequest = !Absent(s->passRequest);
  s->fullSize = Number(r.Read("Original", "0"));
  s->secure = Number(r.Read("Secure", "0"));
  s->decodeNames = Number(r.Read("DecodeNames", "0"));

  s->subAlbumExpression = r.Read("SubAlbumExpression");
  s->urlSubAlbum = r.Read("UrlSubAlbum", s->urlAlbum.c_str());
  s->nameSubAlbum = r.Read("NameSubAlbum", s->nameAlbum.c_str());

  s->cookieNames.clear();
  for (int n = 1; n <= kMaxCookieKeys; ++n) {
    char key[24];
    std::snprintf(key, sizeof key, "Cookie%d", n);
    value = r.Read(key);
    if (Absent(value)) break;
    s->cookieNames.push_back(value);
  }
  return true;
}

}  // namespace engine
