// The POSIX ini reader compiled into a Windows test program under a namespace of its own,
// so that one program can put the same questions to it and to the system's reader.
#include <string>

#define platform posix_reader
#include "platform/posix/profile_posix.cpp"
#undef platform

namespace platform {
std::string Utf8ToAnsi(const std::string& utf8);
}

// The reader turns decoded text into the ANSI code page with the platform's conversion.
std::string posix_reader::Utf8ToAnsi(const std::string& utf8) {
  return platform::Utf8ToAnsi(utf8);
}

// The reader is put to the questions itself: no test stands in for its calls.
const posix_reader::FileCallOverrides* posix_reader::ActiveFileOverrides() {
  return nullptr;
}
