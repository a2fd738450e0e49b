// fl-host: loads a file-system plug-in the way the file manager does and drives it with
// commands, one per line, printing what the plug-in answers in plain, stable lines.
//
//   fl-host MODULE [-c COMMAND]... [-f FILE]
//
// Without -c or -f the commands come from standard input. See README.md for the language.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/host_api.h"
#include "tools/host/host_window.h"

namespace {

using platform::FindData;

using FsInitFn = int(FL_STDCALL*)(int, plugin::ProgressProc, plugin::LogProc, plugin::RequestProc);
using FsFindFirstFn = std::intptr_t(FL_STDCALL*)(char*, FindData*);
using FsFindNextFn = int(FL_STDCALL*)(std::intptr_t, FindData*);
using FsFindCloseFn = int(FL_STDCALL*)(std::intptr_t);
using FsGetFileFn = int(FL_STDCALL*)(char*, char*, int, void*);
using FsExecuteFileFn = int(FL_STDCALL*)(void*, char*, char*);
using FsMkDirFn = int(FL_STDCALL*)(char*);
using FsDeleteFileFn = int(FL_STDCALL*)(char*);
using FsRenMovFileFn = int(FL_STDCALL*)(char*, char*, int, int, void*);
using FsStatusInfoFn = void(FL_STDCALL*)(char*, int, int);
using FsGetDefRootNameFn = void(FL_STDCALL*)(char*, int);
using FsExtractCustomIconFn = int(FL_STDCALL*)(char*, int, void**);

struct Plugin {
  FsInitFn init;
  FsFindFirstFn findFirst;
  FsFindNextFn findNext;
  FsFindCloseFn findClose;
  FsGetFileFn getFile;
  FsExecuteFileFn executeFile;
  FsMkDirFn mkDir;
  FsDeleteFileFn deleteFile;
  FsRenMovFileFn renMovFile;
  FsStatusInfoFn statusInfo;
  FsGetDefRootNameFn getDefRootName;
  FsExtractCustomIconFn extractCustomIcon;
};

// Host operation codes sent around each operation, as the file manager does.
constexpr int kOpGetSingle = 0, kOpRenameSingle = 6, kOpDelete = 8, kOpExecute = 14, kOpMkDir = 15,
              kOpList = 1;

struct Answer {
  bool cancel;
  bool keep;  // accept the pre-filled value
  std::string text;
};

std::deque<Answer> answers;
int progressCalls = 0;
int abortAt = 0;

void Out(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Quote(const char* s) {
  return std::string("\"") + (s ? s : "") + "\"";
}

int FL_STDCALL OnProgress(int, char* source, char* target, int percent) {
  ++progressCalls;
  const bool abort = abortAt != 0 && progressCalls == abortAt;
  Out("progress: source=" + Quote(source) + " target=" + Quote(target) +
      " percent=" + std::to_string(percent) + " -> " + (abort ? "abort" : "continue"));
  return abort ? 1 : 0;
}

void FL_STDCALL OnLog(int, int type, char* text) {
  Out("log: type=" + std::to_string(type) + " text=" + Quote(text));
}

int FL_STDCALL OnRequest(int, int type, char* title, char* text, char* buffer, int size) {
  std::string line = "request: type=" + std::to_string(type) + " title=" + Quote(title) +
                     " text=" + Quote(text) + " value=" + Quote(buffer) +
                     " size=" + std::to_string(size) + " -> ";
  if (answers.empty() || answers.front().cancel) {
    if (!answers.empty()) answers.pop_front();
    Out(line + "cancel");
    return 0;
  }
  Answer a = answers.front();
  answers.pop_front();
  if (!a.keep && size > 0) {
    std::snprintf(buffer, std::size_t(size), "%s", a.text.c_str());
  }
  Out(line + Quote(buffer));
  return 1;
}

std::string FormatTime(const platform::FileTime& t) {
  if (t.high == 0xFFFFFFFFu && t.low == 0xFFFFFFFEu) return "no-time";
  const std::uint64_t ticks = (std::uint64_t(t.high) << 32) | t.low;
  const std::int64_t seconds = std::int64_t(ticks / 10000000ULL) - 11644473600LL;
  // Civil date from days since 1970 (proleptic Gregorian), independent of the C library.
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  std::int64_t rest = seconds - days * 86400;
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = int(doy - (153 * mp + 2) / 5 + 1);
  const int month = int(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char out[64];
  std::snprintf(out, sizeof out, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(year),
                month, day, int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
  return out;
}

void PrintEntry(const FindData& d) {
  const bool dir = (d.attributes & platform::kAttributeDirectory) != 0;
  const std::uint64_t size = (std::uint64_t(d.sizeHigh) << 32) | d.sizeLow;
  char name[sizeof d.fileName + 1];
  std::memcpy(name, d.fileName, sizeof d.fileName);
  name[sizeof d.fileName] = '\0';
  char attr[16];
  std::snprintf(attr, sizeof attr, "%08x", d.attributes);
  Out(std::string("entry ") + (dir ? "dir " : "file") + " attr=" + attr +
      " size=" + std::to_string(size) + " time=" + FormatTime(d.lastWriteTime) + " " + name);
}

// Splits a command line into words; double quotes group words, backslashes are literal.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inQuotes = false, any = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      any = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

// Everything after the command word, without surrounding blanks or one pair of quotes.
std::string RestOfLine(const std::string& line) {
  std::size_t b = line.find_first_of(" \t");
  if (b == std::string::npos) return std::string();
  b = line.find_first_not_of(" \t", b);
  if (b == std::string::npos) return std::string();
  std::size_t e = line.find_last_not_of(" \t") + 1;
  std::string r = line.substr(b, e - b);
  if (r.size() >= 2 && r.front() == '"' && r.back() == '"') r = r.substr(1, r.size() - 2);
  return r;
}

class Host {
 public:
  explicit Host(const Plugin& p) : p_(p) {}

  void Status(const std::string& path, int phase, int operation) {
    std::string copy = path;
    p_.statusInfo(&copy[0], phase, operation);
  }

  bool Run(const std::string& rawLine) {
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') return true;
    Out("$ " + line);
    const std::vector<std::string> w = Words(line);
    if (w.empty()) return true;
    const std::string& cmd = w[0];
    auto arg = [&](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
    // Commands that take one path take the rest of the line, so paths may hold blanks.
    const std::string rest = RestOfLine(line);
    if (cmd == "list") {
      List(rest);
    } else if (cmd == "get") {
      int flags = 0;
      for (std::size_t i = 3; i < w.size(); ++i) {
        if (w[i] == "overwrite") flags |= 1;
        if (w[i] == "resume") flags |= 2;
        if (w[i] == "move") flags |= 4;
      }
      std::string remote = arg(1), local = arg(2);
      Operation("get", remote, kOpGetSingle,
                [&] { return p_.getFile(&remote[0], &local[0], flags, nullptr); });
    } else if (cmd == "exec") {
      std::string path = rest, verb = "open";
      Operation("exec", path, kOpExecute,
                [&] { return p_.executeFile(HostWindow(), &path[0], &verb[0]); });
    } else if (cmd == "mkdir") {
      std::string path = rest;
      Operation("mkdir", path, kOpMkDir, [&] { return p_.mkDir(&path[0]); });
    } else if (cmd == "delete") {
      std::string path = rest;
      Operation("delete", path, kOpDelete, [&] { return p_.deleteFile(&path[0]); });
    } else if (cmd == "rename") {
      std::string from = arg(1), to = arg(2);
      Operation("rename", from, kOpRenameSingle,
                [&] { return p_.renMovFile(&from[0], &to[0], 0, 0, nullptr); });
    } else if (cmd == "icon") {
      std::string path = rest;
      void* icon = nullptr;
      int r = p_.extractCustomIcon(&path[0], 0, &icon);
      Out("icon: " + std::to_string(r) + (icon ? " handle" : ""));
    } else if (cmd == "rootname") {
      int size = std::atoi(arg(1).c_str());
      std::vector<char> buffer(std::size_t(size > 0 ? size : 0) + 8, '#');
      p_.getDefRootName(buffer.data(), size);
      const std::size_t n = size > 0 ? strnlen(buffer.data(), std::size_t(size)) : 0;
      const bool overflow = buffer[std::size_t(size > 0 ? size : 0)] != '#';
      Out("rootname: " + Quote(std::string(buffer.data(), n).c_str()) +
          (overflow ? " OVERFLOW" : ""));
    } else if (cmd == "status") {
      Status(arg(1), std::atoi(arg(2).c_str()), std::atoi(arg(3).c_str()));
      Out("status: " + arg(2) + " " + arg(3));
    } else if (cmd == "answer") {
      const std::size_t at = line.find("answer") + 6;
      std::string text = at < line.size() ? line.substr(at + 1) : std::string();
      answers.push_back(Answer{false, false, text});
    } else if (cmd == "accept") {
      answers.push_back(Answer{false, true, std::string()});
    } else if (cmd == "cancel") {
      answers.push_back(Answer{true, false, std::string()});
    } else if (cmd == "abort-at") {
      abortAt = progressCalls + std::atoi(arg(1).c_str());
    } else if (cmd == "echo") {
      Out(line.size() > 5 ? line.substr(5) : std::string());
    } else {
      Out("error: unknown command " + Quote(cmd.c_str()));
      return false;
    }
    return true;
  }

 private:
  // Runs one operation between the start and end notices the file manager sends, and
  // prints its result.
  template <typename Call>
  void Operation(const char* name, const std::string& path, int code, Call call) {
    Status(Folder(path), 0, code);
    const int result = call();
    Status(Folder(path), 1, code);
    Out(std::string(name) + ": " + std::to_string(result));
  }

  static std::string Folder(const std::string& path) {
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string("\\") : path.substr(0, slash + 1);
  }

  void List(const std::string& path) {
    std::string copy = path;
    FindData d;
    std::memset(&d, 0xA5, sizeof d);  // the plug-in must clear what it hands back
    std::intptr_t h = p_.findFirst(&copy[0], &d);
    if (h == -1) {
      Out("list: failed (-1)");
    } else if (h == 0) {
      Out("list: empty (0)");
    } else {
      int n = 0;
      do {
        PrintEntry(d);
        ++n;
        std::memset(&d, 0, sizeof d);
      } while (p_.findNext(h, &d) && n < 100000);
      p_.findClose(h);
      Out("list: " + std::to_string(n) + (n == 1 ? " entry" : " entries"));
    }
  }

  Plugin p_;
};

template <typename Fn>
bool Find(void* lib, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindFunction(lib, name));
  if (!*out) Out(std::string("error: export ") + name + " missing");
  return *out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareConsole();
  if (argc < 2) {
    std::fprintf(stderr, "usage: fl-host MODULE [-c COMMAND]... [-f FILE]\n");
    return 2;
  }
  std::vector<std::string> commands;
  std::vector<std::string> files;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) {
      commands.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "-f") == 0 && i + 1 < argc) {
      files.push_back(argv[++i]);
    } else {
      std::fprintf(stderr, "fl-host: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  // The window must exist before the module loads: the module looks for it while loading.
  CreateHostWindow();
  void* lib = platform::LoadDynamicLibrary(argv[1]);
  if (!lib) {
    Out(std::string("error: cannot load ") + argv[1]);
    return 1;
  }
  Plugin p{};
  bool ok = Find(lib, "FsInit", &p.init) && Find(lib, "FsFindFirst", &p.findFirst) &&
            Find(lib, "FsFindNext", &p.findNext) && Find(lib, "FsFindClose", &p.findClose) &&
            Find(lib, "FsGetFile", &p.getFile) && Find(lib, "FsExecuteFile", &p.executeFile) &&
            Find(lib, "FsMkDir", &p.mkDir) && Find(lib, "FsDeleteFile", &p.deleteFile) &&
            Find(lib, "FsRenMovFile", &p.renMovFile) && Find(lib, "FsStatusInfo", &p.statusInfo) &&
            Find(lib, "FsGetDefRootName", &p.getDefRootName) &&
            Find(lib, "FsExtractCustomIcon", &p.extractCustomIcon);
  if (!ok) return 1;
  Out("init: " + std::to_string(p.init(0, OnProgress, OnLog, OnRequest)));
  Host host(p);
  bool allKnown = true;
  for (const std::string& c : commands)
    allKnown &= host.Run(c);
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    if (!in) {
      Out("error: cannot read " + f);
      return 1;
    }
    for (std::string line; std::getline(in, line);)
      allKnown &= host.Run(line);
  }
  if (commands.empty() && files.empty()) {
    for (std::string line; std::getline(std::cin, line);)
      allKnown &= host.Run(line);
  }
  return allKnown ? 0 : 1;
}
