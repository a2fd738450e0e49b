// Generated ini files, read by the system's reader and by our POSIX reader in one Windows
// program: every answer must be the same. The files are built from the pieces that make
// readers differ (brackets, equals signs, quotes, blanks, Ctrl-Z, every line end, byte-order
// marks, Cyrillic letters, NUL bytes); the seed is fixed, so a failure repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_files.h"

namespace posix_reader {
std::size_t ReadIniValue(const char* section, const char* key, const char* fallback, char* buffer,
                         std::size_t size, const char* file);
}

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Below(std::uint32_t n) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return std::uint32_t(state_ % n);
  }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

const char* const kNames[] = {"a", "A", "b", "k", "K", "ab", "a b", "\xC0", "\xE0", ""};
const char* const kBlanks[] = {"", "", "", " ", "  ", "\t", "\x1A", " \t"};
const char* const kEnds[] = {"\r\n", "\r\n", "\n", "\r", "\r\r\n", "\n\n"};
const char* const kValues[] = {"v",   "",    "\"q\"",    "'q'",  "\"q'", "\"", "a=b",
                               "[x]", "x ]", "\xC0\xE0", "\"\"", "v v",  "-1"};
const char* const kJunk[] = {"", "", "", " ; note", "]", "x", "[", "="};

std::string Line(Random& r) {
  const std::string blank = r.Pick(kBlanks);
  switch (r.Below(6)) {
    case 0:
    case 1:  // a section header
      return blank + "[" + r.Pick(kBlanks) + r.Pick(kNames) + r.Pick(kJunk) + r.Pick(kBlanks) +
             "]" + r.Pick(kJunk) + r.Pick(kBlanks);
    case 2:  // a key without a value, or stray text
      return blank + r.Pick(kNames) + r.Pick(kJunk);
    default:
      return blank + r.Pick(kNames) + r.Pick(kBlanks) + "=" + r.Pick(kBlanks) + r.Pick(kValues) +
             r.Pick(kBlanks);
  }
}

std::string File(Random& r) {
  std::string text;
  const std::uint32_t lines = 1 + r.Below(7);
  for (std::uint32_t i = 0; i < lines; ++i)
    text += Line(r) + (i + 1 < lines || r.Below(2) ? r.Pick(kEnds) : "");
  if (r.Below(12) == 0) text.insert(r.Below(std::uint32_t(text.size()) + 1), 1, '\0');
  if (r.Below(8) == 0) text = "\xEF\xBB\xBF" + text;
  return text;
}

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

TEST(IniDifferential, OurReaderAnswersAsTheSystemReader) {
  const char* const sections[] = {"a", "A", "b", "", " a ", "a b", "\xC0", "\xE0", "[a", "a]"};
  const char* const keys[] = {"k", "K", "a", "ab", " k ", "\xC0", "\xE0", ""};
  const char* const defaults[] = {"d", "", " ", "  ", "\"q\"", "d  ", "'x"};
  const std::size_t sizes[] = {260, 260, 260, 3, 2, 1};
  testing_support::ScratchFolder dir;
  const std::string file = dir.File("g.ini");
  // FL_INI_SEED explores other files by hand; the suite always asks the same questions.
  const char* seed = std::getenv("FL_INI_SEED");
  Random r(seed ? std::strtoull(seed, nullptr, 10) : 20261208);
  int differences = 0, asked = 0;
  for (int n = 0; n < 3000 && differences < 10; ++n) {
    const std::string text = File(r);
    dir.Write("g.ini", text);
    for (int q = 0; q < 8; ++q) {
      const char* section = r.Pick(sections);
      const char* key = r.Pick(keys);
      const char* fallback = r.Pick(defaults);
      const std::size_t size = r.Pick(sizes);
      char system[300], ours[300];
      std::memset(system, '#', sizeof system);
      std::memset(ours, '#', sizeof ours);
      const std::size_t ns =
          platform::ReadIniValue(section, key, fallback, system, size, file.c_str());
      const std::size_t no =
          posix_reader::ReadIniValue(section, key, fallback, ours, size, file.c_str());
      ++asked;
      // The answers and their lengths must agree; what either leaves after the terminator
      // inside the buffer is nobody's business, but neither may write past it.
      EXPECT_EQ(ours[size], '#') << "wrote past the buffer";
      if (ns != no || std::strcmp(system, ours) != 0) {
        ++differences;
        ADD_FAILURE() << "file \"" << Visible(text) << "\" [" << Visible(section) << "] "
                      << Visible(key) << " default \"" << Visible(fallback) << "\" size " << size
                      << ": system \"" << Visible(std::string(system, ns)) << "\" (" << ns
                      << "), ours \"" << Visible(std::string(ours, no)) << "\" (" << no << ")";
      }
    }
  }
  std::printf("%d questions asked, %d differences\n", asked, differences);
}

}  // namespace
