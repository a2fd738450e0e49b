// fl-host: loads a file-system plug-in the way the file manager does and drives it with
// commands, one per line, printing what the plug-in answers in plain, stable lines.
//
//   fl-host MODULE [-c COMMAND]... [-f FILE] [--wide] [--both-inits]
//   fl-host --help                  the options and the commands
//
// With --wide the host drives the module's wide (UTF-16) functions, as a file manager that
// finds them does: commands are read and names printed in UTF-8. With --both-inits the host
// starts the module through FsInit and then FsInitW, as one file manager does.
//
// Without -c or -f the commands come from standard input. See docs/fl-host.md for the language.
//
// Sections, in order: the plug-in's functions (Plugin); the prompt answers and the three
// callbacks; entries and times as printed; command lines read into words (Words, RestOfLine,
// ParseTime, CopyFlags); the listing handles kept between commands and the re-entry;
// Host, one member per command, and its table kCommands, which also prints --help; the wide
// adapters that drive the wide functions through the ANSI signatures; and main.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/unicode_text.h"
#include "plugin/find_records.h"
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
using FsPutFileFn = int(FL_STDCALL*)(char*, char*, int);
using FsRemoveDirFn = int(FL_STDCALL*)(char*);
using FsSetAttrFn = int(FL_STDCALL*)(char*, int);
using FsSetTimeFn = int(FL_STDCALL*)(char*, platform::FileTime*, platform::FileTime*,
                                     platform::FileTime*);

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
  FsPutFileFn putFile;
  FsRemoveDirFn removeDir;
  FsSetAttrFn setAttr;
  FsSetTimeFn setTime;
};

// The operation codes the file manager sends around each operation.
constexpr int kOpGetSingle = 2, kOpPutSingle = 4, kOpRenameSingle = 6, kOpDelete = 8,
              kOpAttributes = 9, kOpMkDir = 10, kOpExecute = 11;

// The request type of the file manager's URL prompt; every other type is "other".
constexpr int kRequestUrl = 7;
constexpr int kRequestMessage = 8;

struct Answer {
  bool cancel;
  bool keep;  // accept the pre-filled value
  std::string text;
};

// Answers wait in three queues: one for URL prompts, one for every other prompt, and one
// for whichever prompt comes next. A prompt takes from its own kind's queue first and from
// the shared queue only when its own is empty, so an answer queued for one kind of prompt is
// never taken by the other kind.
std::deque<Answer> answers;       // answer, accept, cancel: the next prompt of any kind
std::deque<Answer> urlAnswers;    // answer-url, accept-url, cancel-url
std::deque<Answer> otherAnswers;  // answer-other, accept-other, cancel-other
int progressCalls = 0;
int abortAt = 0;

// reenter-next: the next callback (a progress report or a prompt) calls back into the
// plug-in, as a file manager that keeps handling messages while a prompt is open may.
struct Plugin;
const Plugin* reenterInto = nullptr;
void Reenter();

// One line of output, whole. A write the pipe refuses for a moment (a reader that fell
// behind) is tried again for the rest of the line instead of dropping it: the runner reads
// every line, and a lost one would look like a wrong answer of the plug-in.
void Out(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t done = 0;
  for (int tries = 0; tries < 500; ++tries) {
    done += std::fwrite(text.data() + done, 1, text.size() - done, stdout);
    if (done == text.size() && std::fflush(stdout) == 0) return;
    std::clearerr(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string Quote(const char* s) {
  return std::string("\"") + (s ? s : "") + "\"";
}

int FL_STDCALL OnProgress(int, char* source, char* target, int percent) {
  ++progressCalls;
  Reenter();
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
  Reenter();
  // A message box is shown and closed with OK: it takes no answer from the queues.
  if (type == kRequestMessage) {
    Out(line + "ok");
    return 1;
  }
  std::deque<Answer>& own = type == kRequestUrl ? urlAnswers : otherAnswers;
  std::deque<Answer>& queue = own.empty() ? answers : own;
  if (queue.empty() || queue.front().cancel) {
    if (!queue.empty()) queue.pop_front();
    Out(line + "cancel");
    return 0;
  }
  Answer a = queue.front();
  queue.pop_front();
  // As the Linux file manager does: up to size characters, then a terminator.
  if (!a.keep && size >= 0) {
    std::snprintf(buffer, std::size_t(size) + 1, "%s", a.text.c_str());
  }
  Out(line + Quote(buffer));
  return 1;
}

// What the module lists for an entry without a time where "no time" cannot be listed.
std::uint64_t moduleTimeStandIn = 0;

std::string FormatTime(const platform::FileTime& t) {
  if (t.high == 0xFFFFFFFFu && t.low == 0xFFFFFFFEu) return "no-time";
  const std::uint64_t ticks = (std::uint64_t(t.high) << 32) | t.low;
  if (moduleTimeStandIn != 0 && ticks == moduleTimeStandIn) return "module-time";
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

// The value of a hex digit, or -1.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one escape inside double quotes at line[*i] (a backslash): \" \\ and \xHH give one
// byte and advance *i past the escape; any other backslash is itself. Returns the byte.
char Escape(const std::string& line, std::size_t* i) {
  const std::size_t at = *i;
  if (at + 1 < line.size() && (line[at + 1] == '"' || line[at + 1] == '\\')) {
    *i = at + 1;
    return line[at + 1];
  }
  if (at + 3 < line.size() && line[at + 1] == 'x' && HexDigit(line[at + 2]) >= 0 &&
      HexDigit(line[at + 3]) >= 0) {
    *i = at + 3;
    return char(HexDigit(line[at + 2]) * 16 + HexDigit(line[at + 3]));
  }
  return '\\';
}

// Splits a command line into words. Blanks separate words; double quotes group them.
// Outside quotes a backslash is literal; inside quotes \" is a quote, \\ a backslash and
// \xHH the byte HH, and any other backslash is literal.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inQuotes = false, any = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      inQuotes = !inQuotes;
      any = true;
    } else if (c == '\\' && inQuotes) {
      word += Escape(line, &i);
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

// The escapes of a quoted text resolved (the quotes themselves already removed).
std::string Unescape(const std::string& quoted) {
  std::string out;
  for (std::size_t i = 0; i < quoted.size(); ++i)
    out += quoted[i] == '\\' ? Escape(quoted, &i) : quoted[i];
  return out;
}

// Where the double quote that opens text[0] closes, escapes skipped; npos when it does not.
std::size_t ClosingQuote(const std::string& text) {
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      Escape(text, &i);
    } else if (text[i] == '"') {
      return i;
    }
  }
  return std::string::npos;
}

// Everything after the command word, without surrounding blanks or one pair of quotes. When
// the quotes enclose the whole of it, the escapes inside are resolved as in a word.
std::string RestOfLine(const std::string& line) {
  std::size_t b = line.find_first_of(" \t");
  if (b == std::string::npos) return std::string();
  b = line.find_first_not_of(" \t", b);
  if (b == std::string::npos) return std::string();
  std::size_t e = line.find_last_not_of(" \t") + 1;
  std::string r = line.substr(b, e - b);
  if (r.size() >= 2 && r.front() == '"' && r.back() == '"') {
    const std::string inner = r.substr(1, r.size() - 2);
    r = ClosingQuote(r) == r.size() - 1 ? Unescape(inner) : inner;
  }
  return r;
}

// A time written as the host prints it (2024-05-01T10:20:30Z), as a FILETIME; false when
// the text is not such a time.
bool ParseTime(const std::string& text, platform::FileTime* out) {
  int year, month, day, hour, minute, second;
  char z = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &z) != 7 ||
      z != 'Z' || month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  // Days since 1970 from a civil date (proleptic Gregorian).
  const std::int64_t y = year - (month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = era * 146097 + doe - 719468;
  const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  const std::uint64_t ticks = std::uint64_t(seconds + 11644473600LL) * 10000000ULL;
  out->low = std::uint32_t(ticks);
  out->high = std::uint32_t(ticks >> 32);
  return true;
}

// Copy flags of the file manager for get and put: the words after the two paths.
int CopyFlags(const std::vector<std::string>& w) {
  int flags = 0;
  for (std::size_t i = 3; i < w.size(); ++i) {
    if (w[i] == "overwrite") flags |= 1;
    if (w[i] == "resume") flags |= 2;
    if (w[i] == "move") flags |= 4;
  }
  return flags;
}

// Listing handles the commands find-first, find-next and find-close keep between commands,
// numbered from 1. The table is never freed, so a handle the host still holds stays
// reachable for a leak checker; one it has closed does not.
std::map<int, std::intptr_t>& OpenHandles() {
  static auto* handles = new std::map<int, std::intptr_t>;
  return *handles;
}

void Reenter() {
  if (!reenterInto) return;
  const Plugin& p = *reenterInto;
  reenterInto = nullptr;
  std::string root = "\\", remote = "\\settings", local = "reentered.ini";
  platform::FindData record{};
  const std::intptr_t handle = p.findFirst(&root[0], &record);
  const int got = p.getFile(&remote[0], &local[0], 0, nullptr);
  const int made = p.mkDir(&root[0]);
  Out("reentered: find-first=" + std::to_string(handle) + " get=" + std::to_string(got) +
      " mkdir=" + std::to_string(made));
  if (handle != -1) p.findClose(handle);
  // Listings the host opened before are walked to their end and closed meanwhile, as a file
  // manager redrawing its other panel may.
  for (const auto& held : std::map<int, std::intptr_t>(OpenHandles())) {
    platform::FindData entry{};
    int entries = 0;
    while (entries < 100000 && p.findNext(held.second, &entry))
      ++entries;
    const int closed = p.findClose(held.second);
    OpenHandles().erase(held.first);
    Out("reentered: handle " + std::to_string(held.first) + " next=" + std::to_string(entries) +
        " close=" + std::to_string(closed));
  }
}

// One command line as the commands read it: its words, and the rest of the line after the
// command word (commands that take one path take the rest, so paths may hold blanks).
struct CommandLine {
  std::string line;  // as read, without a trailing CR
  std::vector<std::string> words;
  std::string rest;
  std::string arg(std::size_t i) const { return i < words.size() ? words[i] : std::string(); }
};

class Host {
 public:
  Host(const Plugin& p, void* module, bool syncWait)
      : p_(p), module_(module), syncWait_(syncWait) {}

  // One command of the table: its name, its arguments and what it does (for --help), and
  // the member that runs it; false from the member means the command could not be run.
  struct Command {
    const char* name;
    const char* arguments;
    const char* description;
    bool (Host::*run)(const CommandLine&);
  };
  static const Command kCommands[];
  static const std::size_t kCommandCount;

  // Prints the command table, as fl-host --help shows it.
  static void PrintCommands();

  void Status(const std::string& path, int phase, int operation) {
    std::string copy = path;
    p_.statusInfo(&copy[0], phase, operation);
  }

  // Runs one line: blank lines and comments are skipped, anything else is echoed and run.
  // False when the command is unknown or could not be run.
  bool Run(const std::string& rawLine) {
    CommandLine c;
    c.line = rawLine;
    if (!c.line.empty() && c.line.back() == '\r') c.line.pop_back();
    if (c.line.empty() || c.line[0] == '#') return true;
    Out("$ " + c.line);
    c.words = Words(c.line);
    if (c.words.empty()) return true;
    c.rest = RestOfLine(c.line);
    for (std::size_t i = 0; i < kCommandCount; ++i) {
      if (c.words[0] == kCommands[i].name) return (this->*kCommands[i].run)(c);
    }
    Out("error: unknown command " + Quote(c.words[0].c_str()));
    return false;
  }

 private:
  // ---- Listings ---------------------------------------------------------------------------
  bool CmdList(const CommandLine& c) {
    List(c.rest);
    return true;
  }

  bool CmdFindFirst(const CommandLine& c) {
    FindFirst(c.rest);
    return true;
  }

  // The listing handle kept under the number in the command's first argument; false (and an
  // error printed) when there is none.
  bool KeptHandle(const CommandLine& c, std::map<int, std::intptr_t>::iterator* at) {
    *at = OpenHandles().find(std::atoi(c.arg(1).c_str()));
    if (*at != OpenHandles().end()) return true;
    Out("error: no handle " + Quote(c.arg(1).c_str()));
    return false;
  }

  bool CmdFindNext(const CommandLine& c) {
    std::map<int, std::intptr_t>::iterator at;
    if (!KeptHandle(c, &at)) return false;
    FindData d;
    FillRecord(&d);
    const int r = p_.findNext(at->second, &d);
    CheckRecordEnd(d);
    if (r) PrintEntry(d);
    Out("find-next: " + std::to_string(r));
    return true;
  }

  bool CmdFindClose(const CommandLine& c) {
    std::map<int, std::intptr_t>::iterator at;
    if (!KeptHandle(c, &at)) return false;
    const int r = p_.findClose(at->second);
    OpenHandles().erase(at);
    Out("find-close: " + std::to_string(r));
    return true;
  }

  // ---- Files and folders ------------------------------------------------------------------
  bool CmdGet(const CommandLine& c) {
    const int flags = CopyFlags(c.words);
    std::string remote = c.arg(1), local = c.arg(2);
    Operation("get", remote, kOpGetSingle,
              [&] { return p_.getFile(&remote[0], &local[0], flags, nullptr); });
    return true;
  }

  bool CmdPut(const CommandLine& c) {
    const int flags = CopyFlags(c.words);
    std::string local = c.arg(1), remote = c.arg(2);
    Operation("put", remote, kOpPutSingle,
              [&] { return p_.putFile(&local[0], &remote[0], flags); });
    return true;
  }

  bool CmdExec(const CommandLine& c) {
    std::string path = c.rest, verb = "open";
    Operation("exec", path, kOpExecute,
              [&] { return p_.executeFile(HostWindow(), &path[0], &verb[0]); });
    return true;
  }

  bool CmdExecVerb(const CommandLine& c) {
    std::string verb = c.arg(1), path = c.arg(2);
    Operation("exec-verb", path, kOpExecute,
              [&] { return p_.executeFile(HostWindow(), &path[0], &verb[0]); });
    return true;
  }

  bool CmdMkDir(const CommandLine& c) {
    std::string path = c.rest;
    Operation("mkdir", path, kOpMkDir, [&] { return p_.mkDir(&path[0]); });
    return true;
  }

  bool CmdRmDir(const CommandLine& c) {
    std::string path = c.rest;
    Operation("rmdir", path, kOpDelete, [&] { return p_.removeDir(&path[0]); });
    return true;
  }

  bool CmdDelete(const CommandLine& c) {
    std::string path = c.rest;
    Operation("delete", path, kOpDelete, [&] { return p_.deleteFile(&path[0]); });
    return true;
  }

  bool CmdDeleteBare(const CommandLine& c) {
    std::string path = c.rest;
    Out("delete-bare: " + std::to_string(p_.deleteFile(&path[0])));
    return true;
  }

  bool CmdRename(const CommandLine& c) {
    std::string from = c.arg(1), to = c.arg(2);
    Operation("rename", from, kOpRenameSingle,
              [&] { return p_.renMovFile(&from[0], &to[0], 0, 0, nullptr); });
    return true;
  }

  bool CmdRenameBare(const CommandLine& c) {
    std::string from = c.arg(1), to = c.arg(2);
    Out("rename-bare: " + std::to_string(p_.renMovFile(&from[0], &to[0], 0, 0, nullptr)));
    return true;
  }

  bool CmdSetAttr(const CommandLine& c) {
    std::string path = c.arg(1);
    const int attributes = int(std::strtol(c.arg(2).c_str(), nullptr, 0));
    Operation("setattr", path, kOpAttributes, [&] { return p_.setAttr(&path[0], attributes); });
    return true;
  }

  bool CmdSetTime(const CommandLine& c) {
    std::string path = c.arg(1);
    platform::FileTime times[3] = {};
    platform::FileTime* given[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
      const std::string t = c.arg(2 + i);
      if (t.empty() || t == "-") continue;
      if (!ParseTime(t, &times[i])) {
        Out("error: not a time " + Quote(t.c_str()));
        return false;
      }
      given[i] = &times[i];
    }
    Operation("settime", path, kOpAttributes,
              [&] { return p_.setTime(&path[0], given[0], given[1], given[2]); });
    return true;
  }

  bool CmdIcon(const CommandLine& c) {
    std::string path = c.rest;
    void* icon = nullptr;
    int r = p_.extractCustomIcon(&path[0], 0, &icon);
    Out("icon: " + std::to_string(r) + (icon ? " handle" : ""));
    if (icon) {
      const int id = IconResourceId(module_, icon);
      Out("icon-resource: " + (id ? std::to_string(id) : std::string("unknown")));
    }
    return true;
  }

  bool CmdRootName(const CommandLine& c) {
    int size = std::atoi(c.arg(1).c_str());
    std::vector<char> buffer(std::size_t(size > 0 ? size : 0) + 8, '#');
    p_.getDefRootName(buffer.data(), size);
    const std::size_t n = size > 0 ? strnlen(buffer.data(), std::size_t(size)) : 0;
    const bool overflow = buffer[std::size_t(size > 0 ? size : 0)] != '#';
    Out("rootname: " + Quote(std::string(buffer.data(), n).c_str()) +
        (overflow ? " OVERFLOW" : ""));
    return true;
  }

  bool CmdStatus(const CommandLine& c) {
    Status(c.arg(1), std::atoi(c.arg(2).c_str()), std::atoi(c.arg(3).c_str()));
    Out("status: " + c.arg(2) + " " + c.arg(3));
    return true;
  }

  // ---- Answers to the plug-in's prompts ---------------------------------------------------
  bool CmdAnswer(const CommandLine& c) {
    // The rest of the line as written: neither quotes nor escapes are read.
    const std::size_t at = c.line.find("answer") + 6;
    std::string text = at < c.line.size() ? c.line.substr(at + 1) : std::string();
    answers.push_back(Answer{false, false, text});
    return true;
  }
  bool CmdAccept(const CommandLine&) {
    answers.push_back(Answer{false, true, std::string()});
    return true;
  }
  bool CmdCancel(const CommandLine&) {
    answers.push_back(Answer{true, false, std::string()});
    return true;
  }
  bool CmdAnswerUrl(const CommandLine& c) {
    urlAnswers.push_back(Answer{false, false, c.rest});
    return true;
  }
  bool CmdAcceptUrl(const CommandLine&) {
    urlAnswers.push_back(Answer{false, true, ""});
    return true;
  }
  bool CmdCancelUrl(const CommandLine&) {
    urlAnswers.push_back(Answer{true, false, ""});
    return true;
  }
  bool CmdAnswerOther(const CommandLine& c) {
    otherAnswers.push_back(Answer{false, false, c.rest});
    return true;
  }
  bool CmdAcceptOther(const CommandLine&) {
    otherAnswers.push_back(Answer{false, true, ""});
    return true;
  }
  bool CmdCancelOther(const CommandLine&) {
    otherAnswers.push_back(Answer{true, false, ""});
    return true;
  }

  bool CmdClearAnswers(const CommandLine&) {
    const std::size_t n = answers.size() + urlAnswers.size() + otherAnswers.size();
    answers.clear();
    urlAnswers.clear();
    otherAnswers.clear();
    Out("clear-answers: " + std::to_string(n));
    return true;
  }

  // ---- Driving the run --------------------------------------------------------------------
  bool CmdSync(const CommandLine& c) {
    Out("sync: " + c.rest);  // Out flushes standard output
    std::fflush(stderr);
    // A driver that notes what happened up to the marker answers with a line.
    if (syncWait_) {
      std::string ack;
      std::getline(std::cin, ack);
    }
    return true;
  }

  bool CmdReenterNext(const CommandLine&) {
    reenterInto = &p_;
    return true;
  }

  bool CmdAbortAt(const CommandLine& c) {
    abortAt = progressCalls + std::atoi(c.arg(1).c_str());
    return true;
  }

  bool CmdEcho(const CommandLine& c) {
    Out(c.line.size() > 5 ? c.line.substr(5) : std::string());
    return true;
  }

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

  // FsFindFirst alone: the host keeps the handle for find-next and find-close.
  void FindFirst(const std::string& path) {
    std::string copy = path;
    FindData d;
    FillRecord(&d);
    ClearSystemError();
    const std::intptr_t h = p_.findFirst(&copy[0], &d);
    CheckRecordEnd(d);
    if (h == -1) {
      Out(NoMoreFilesError() ? "find-first: empty (-1)" : "find-first: failed (-1)");
    } else if (h == 0) {
      Out("find-first: empty (0)");
    } else {
      PrintEntry(d);
      const int number = ++handlesOpened_;
      OpenHandles()[number] = h;
      Out("find-first: handle " + std::to_string(number));
    }
  }

  // A record as a host lays it out packed owns 318 bytes; the two padding bytes after them
  // are watched: a plug-in that writes there writes past such a host's record.
  static void FillRecord(FindData* d) { std::memset(d, 0xA5, sizeof *d); }
  static void CheckRecordEnd(const FindData& d) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&d);
    for (std::size_t i = platform::kFindDataHostBytes; i < sizeof d; ++i) {
      if (bytes[i] != 0xA5) {
        Out("error: the record was written past its " +
            std::to_string(platform::kFindDataHostBytes) + " bytes");
        return;
      }
    }
  }

  void List(const std::string& path) {
    std::string copy = path;
    FindData d;
    FillRecord(&d);  // the plug-in must clear what it hands back
    ClearSystemError();
    std::intptr_t h = p_.findFirst(&copy[0], &d);
    CheckRecordEnd(d);
    if (h == -1) {
      Out(NoMoreFilesError() ? "list: empty (-1)" : "list: failed (-1)");
    } else if (h == 0) {
      Out("list: empty (0)");
    } else {
      int n = 0;
      do {
        PrintEntry(d);
        ++n;
        FillRecord(&d);
      } while (p_.findNext(h, &d) && (CheckRecordEnd(d), n < 100000));
      p_.findClose(h);
      Out("list: " + std::to_string(n) + (n == 1 ? " entry" : " entries"));
    }
  }

  Plugin p_;
  void* module_;
  bool syncWait_;
  int handlesOpened_ = 0;
};

const Host::Command Host::kCommands[] = {
    {"list", "PATH", "FsFindFirst, FsFindNext until 0, FsFindClose", &Host::CmdList},
    {"find-first", "PATH", "FsFindFirst alone; the handle is kept under a number (1, 2, ...)",
     &Host::CmdFindFirst},
    {"find-next", "N", "FsFindNext on kept handle N, with a record that is not cleared",
     &Host::CmdFindNext},
    {"find-close", "N", "FsFindClose on kept handle N, which is then forgotten",
     &Host::CmdFindClose},
    {"get", "REMOTE LOCAL [overwrite] [resume] [move]", "FsGetFile, bracketed (operation 2)",
     &Host::CmdGet},
    {"put", "LOCAL REMOTE [overwrite] [resume] [move]", "FsPutFile, bracketed (operation 4)",
     &Host::CmdPut},
    {"exec", "PATH", "FsExecuteFile with the verb \"open\", bracketed (operation 11)",
     &Host::CmdExec},
    {"exec-verb", "VERB PATH", "FsExecuteFile with another verb, bracketed (operation 11)",
     &Host::CmdExecVerb},
    {"mkdir", "PATH", "FsMkDir, bracketed (operation 10)", &Host::CmdMkDir},
    {"rmdir", "PATH", "FsRemoveDir, bracketed (operation 8)", &Host::CmdRmDir},
    {"delete", "PATH", "FsDeleteFile, bracketed (operation 8)", &Host::CmdDelete},
    {"delete-bare", "PATH", "FsDeleteFile without the bracket", &Host::CmdDeleteBare},
    {"rename", "OLD NEW", "FsRenMovFile, bracketed (operation 6)", &Host::CmdRename},
    {"rename-bare", "OLD NEW", "FsRenMovFile without the bracket", &Host::CmdRenameBare},
    {"setattr", "PATH ATTR", "FsSetAttr (ATTR decimal or 0x hex), bracketed (operation 9)",
     &Host::CmdSetAttr},
    {"settime", "PATH CREATION ACCESS WRITE",
     "FsSetTime; each time as printed or - for none, bracketed (operation 9)", &Host::CmdSetTime},
    {"icon", "PATH", "FsExtractCustomIcon; names the module's icon resource it got",
     &Host::CmdIcon},
    {"rootname", "SIZE", "FsGetDefRootName with a buffer of SIZE bytes", &Host::CmdRootName},
    {"status", "PATH PHASE OPERATION", "a bare FsStatusInfo", &Host::CmdStatus},
    {"answer", "TEXT", "queues TEXT (the rest of the line as written) for the next prompt",
     &Host::CmdAnswer},
    {"accept", "", "queues: accept the next prompt's pre-filled value", &Host::CmdAccept},
    {"cancel", "", "queues: cancel the next prompt (also what happens with nothing queued)",
     &Host::CmdCancel},
    {"answer-url", "TEXT", "queues TEXT for the next URL prompt only", &Host::CmdAnswerUrl},
    {"accept-url", "", "queues: accept the next URL prompt's pre-filled value",
     &Host::CmdAcceptUrl},
    {"cancel-url", "", "queues: cancel the next URL prompt", &Host::CmdCancelUrl},
    {"answer-other", "TEXT", "queues TEXT for the next prompt that is not a URL prompt",
     &Host::CmdAnswerOther},
    {"accept-other", "", "queues: accept the next other prompt's pre-filled value",
     &Host::CmdAcceptOther},
    {"cancel-other", "", "queues: cancel the next other prompt", &Host::CmdCancelOther},
    {"clear-answers", "", "drops every queued answer", &Host::CmdClearAnswers},
    {"sync", "NAME", "prints a marker and flushes the output (--sync-wait: waits for a line)",
     &Host::CmdSync},
    {"abort-at", "N", "answers \"abort\" to the N-th progress call from now", &Host::CmdAbortAt},
    {"reenter-next", "", "the next progress call or prompt first calls the plug-in again",
     &Host::CmdReenterNext},
    {"echo", "TEXT", "prints TEXT", &Host::CmdEcho},
};
const std::size_t Host::kCommandCount = sizeof Host::kCommands / sizeof Host::kCommands[0];

void Host::PrintCommands() {
  std::size_t width = 0;
  for (const Command& c : kCommands) {
    const std::size_t n = std::strlen(c.name) + 1 + std::strlen(c.arguments);
    width = n > width ? n : width;
  }
  for (const Command& c : kCommands) {
    std::string usage = std::string(c.name) + (*c.arguments ? " " : "") + c.arguments;
    usage.resize(width, ' ');
    std::printf("  %s  %s\n", usage.c_str(), c.description);
  }
  std::printf("  %-*s  %s\n", int(width), "# TEXT", "a comment, not echoed");
}

template <typename Fn>
bool Find(void* lib, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindFunction(lib, name));
  if (!*out) Out(std::string("error: export ") + name + " missing");
  return *out != nullptr;
}

// The wide functions, driven through the ANSI ones' signatures: the adapters below convert
// UTF-8 to UTF-16 on the way in and back on the way out, so that every command runs the same
// way on either set.
namespace wide {

using plugin::WideChar;
using FsInitWFn = int(FL_STDCALL*)(int, plugin::ProgressProcW, plugin::LogProcW,
                                   plugin::RequestProcW);
using FsFindFirstWFn = std::intptr_t(FL_STDCALL*)(WideChar*, plugin::FindDataW*);
using FsFindNextWFn = int(FL_STDCALL*)(std::intptr_t, plugin::FindDataW*);
using FsGetFileWFn = int(FL_STDCALL*)(WideChar*, WideChar*, int, void*);
using FsExecuteFileWFn = int(FL_STDCALL*)(void*, WideChar*, WideChar*);
using FsOnePathWFn = int(FL_STDCALL*)(WideChar*);
using FsRenMovFileWFn = int(FL_STDCALL*)(WideChar*, WideChar*, int, int, void*);
using FsStatusInfoWFn = void(FL_STDCALL*)(WideChar*, int, int);
using FsExtractCustomIconWFn = int(FL_STDCALL*)(WideChar*, int, void**);
using FsPutFileWFn = int(FL_STDCALL*)(WideChar*, WideChar*, int);
using FsSetAttrWFn = int(FL_STDCALL*)(WideChar*, int);
using FsSetTimeWFn = int(FL_STDCALL*)(WideChar*, platform::FileTime*, platform::FileTime*,
                                      platform::FileTime*);

FsInitWFn initW;
FsFindFirstWFn findFirstW;
FsFindNextWFn findNextW;
FsGetFileWFn getFileW;
FsExecuteFileWFn executeFileW;
FsOnePathWFn mkDirW, deleteFileW, removeDirW;
FsRenMovFileWFn renMovFileW;
FsStatusInfoWFn statusInfoW;
FsExtractCustomIconWFn extractCustomIconW;
FsPutFileWFn putFileW;
FsSetAttrWFn setAttrW;
FsSetTimeWFn setTimeW;

std::u16string W(const char* text) {
  return platform::Utf8ToUtf16(text ? text : "");
}

std::string Narrow(const WideChar* text, std::size_t max) {
  return text ? platform::Utf16ToUtf8(std::u16string(text, platform::Utf16Length(text, max)))
              : std::string();
}

int FL_STDCALL OnProgressW(int number, WideChar* source, WideChar* target, int percent) {
  std::string s = Narrow(source, 32768), t = Narrow(target, 32768);
  return OnProgress(number, &s[0], &t[0], percent);
}

void FL_STDCALL OnLogW(int number, int type, WideChar* text) {
  std::string t = Narrow(text, 32768);
  OnLog(number, type, &t[0]);
}

int FL_STDCALL OnRequestW(int number, int type, WideChar* title, WideChar* text, WideChar* buffer,
                          int size) {
  std::string t = Narrow(title, 32768), x = Narrow(text, 32768);
  const std::size_t units = size >= 0 ? std::size_t(size) + 1 : 0;
  // Room for the answer in UTF-8; the answer given is cut to size bytes, within size units.
  std::string b = Narrow(buffer, units);
  b.resize(units * 4 + 1, '\0');
  const int r = OnRequest(number, type, &t[0], &x[0], &b[0], size);
  if (r && units > 0) platform::CopyUtf16(buffer, units, W(b.c_str()));
  return r;
}

int FL_STDCALL Init(int number, plugin::ProgressProc, plugin::LogProc, plugin::RequestProc) {
  return initW(number, OnProgressW, OnLogW, OnRequestW);
}
std::intptr_t FL_STDCALL FindFirst(char* path, FindData* d) {
  std::u16string p = W(path);
  plugin::FindDataW w;
  std::memset(&w, 0xA5, sizeof w);  // the plug-in must clear what it hands back
  const std::intptr_t h = findFirstW(&p[0], &w);
  plugin::ToNarrowRecord(w, d);
  return h;
}
int FL_STDCALL FindNext(std::intptr_t h, FindData* d) {
  plugin::FindDataW w;
  std::memset(&w, 0xA5, sizeof w);
  const int r = findNextW(h, &w);
  plugin::ToNarrowRecord(w, d);
  return r;
}
int FL_STDCALL GetFile(char* remote, char* local, int flags, void* info) {
  std::u16string r = W(remote), l = W(local);
  return getFileW(&r[0], &l[0], flags, info);
}
int FL_STDCALL ExecuteFile(void* window, char* remote, char* verb) {
  std::u16string r = W(remote), v = W(verb);
  return executeFileW(window, &r[0], &v[0]);
}
int FL_STDCALL MkDir(char* path) {
  std::u16string p = W(path);
  return mkDirW(&p[0]);
}
int FL_STDCALL DeleteOne(char* path) {
  std::u16string p = W(path);
  return deleteFileW(&p[0]);
}
int FL_STDCALL RemoveDir(char* path) {
  std::u16string p = W(path);
  return removeDirW(&p[0]);
}
int FL_STDCALL RenMovFile(char* from, char* to, int move, int overwrite, void* info) {
  std::u16string f = W(from), t = W(to);
  return renMovFileW(&f[0], &t[0], move, overwrite, info);
}
void FL_STDCALL StatusInfo(char* path, int phase, int operation) {
  std::u16string p = W(path);
  statusInfoW(&p[0], phase, operation);
}
int FL_STDCALL ExtractCustomIcon(char* path, int flags, void** icon) {
  std::u16string p = W(path);
  p.resize(p.size() < 260 ? 260 : p.size() + 1, u'\0');  // the host's buffer holds a path
  return extractCustomIconW(&p[0], flags, icon);
}
int FL_STDCALL PutFile(char* local, char* remote, int flags) {
  std::u16string l = W(local), r = W(remote);
  return putFileW(&l[0], &r[0], flags);
}
int FL_STDCALL SetAttr(char* path, int attributes) {
  std::u16string p = W(path);
  return setAttrW(&p[0], attributes);
}
int FL_STDCALL SetTime(char* path, platform::FileTime* c, platform::FileTime* a,
                       platform::FileTime* m) {
  std::u16string p = W(path);
  return setTimeW(&p[0], c, a, m);
}

// Looks up the wide set and puts the adapters in p's place; false when one is missing.
bool Bind(void* lib, Plugin* p) {
  const bool ok =
      Find(lib, "FsInitW", &initW) && Find(lib, "FsFindFirstW", &findFirstW) &&
      Find(lib, "FsFindNextW", &findNextW) && Find(lib, "FsGetFileW", &getFileW) &&
      Find(lib, "FsExecuteFileW", &executeFileW) && Find(lib, "FsMkDirW", &mkDirW) &&
      Find(lib, "FsDeleteFileW", &deleteFileW) && Find(lib, "FsRemoveDirW", &removeDirW) &&
      Find(lib, "FsRenMovFileW", &renMovFileW) && Find(lib, "FsStatusInfoW", &statusInfoW) &&
      Find(lib, "FsExtractCustomIconW", &extractCustomIconW) &&
      Find(lib, "FsPutFileW", &putFileW) && Find(lib, "FsSetAttrW", &setAttrW) &&
      Find(lib, "FsSetTimeW", &setTimeW);
  if (!ok) return false;
  p->init = Init;
  p->findFirst = FindFirst;
  p->findNext = FindNext;
  p->getFile = GetFile;
  p->executeFile = ExecuteFile;
  p->mkDir = MkDir;
  p->deleteFile = DeleteOne;
  p->removeDir = RemoveDir;
  p->renMovFile = RenMovFile;
  p->statusInfo = StatusInfo;
  p->extractCustomIcon = ExtractCustomIcon;
  p->putFile = PutFile;
  p->setAttr = SetAttr;
  p->setTime = SetTime;
  return true;
}

}  // namespace wide

}  // namespace

int main(int argc, char** argv) {
  PrepareConsole();
  static const char kUsage[] =
      "usage: fl-host MODULE [-c COMMAND]... [-f FILE] [--offer accept|decline|leave] "
      "[--sync-wait] [--wide] [--both-inits]\n";
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\ncommands, one a line (no -c or -f: from standard input):\n", kUsage);
    Host::PrintCommands();
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::vector<std::string> commands;
  std::vector<std::string> files;
  OfferAnswer offer = OfferAnswer::kDecline;
  bool syncWait = false;  // each sync marker waits for a line on standard input
  bool useWide = false;
  bool bothInits = false;  // FsInit, then FsInitW
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) {
      commands.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "-f") == 0 && i + 1 < argc) {
      files.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--sync-wait") == 0) {
      syncWait = true;
    } else if (std::strcmp(argv[i], "--wide") == 0) {
      useWide = true;
    } else if (std::strcmp(argv[i], "--both-inits") == 0) {
      bothInits = true;
    } else if (std::strcmp(argv[i], "--offer") == 0 && i + 1 < argc) {
      const std::string answer = argv[++i];
      if (answer == "accept") {
        offer = OfferAnswer::kAccept;
      } else if (answer == "leave") {
        offer = OfferAnswer::kLeave;
      } else if (answer != "decline") {
        std::fprintf(stderr, "fl-host: --offer takes accept, decline or leave\n");
        return 2;
      }
    } else {
      std::fprintf(stderr, "fl-host: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  // The window must exist before the module loads: the module looks for it while loading.
  CreateHostWindow();
  // The file manager loads a plug-in by its full path; so does the host, whatever folder it
  // was started in.
  const std::string module = AbsolutePath(argv[1]);
  moduleTimeStandIn = ModuleTimeStandIn(module);
  void* lib = platform::LoadDynamicLibrary(module.c_str());
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
            Find(lib, "FsExtractCustomIcon", &p.extractCustomIcon) &&
            Find(lib, "FsPutFile", &p.putFile) && Find(lib, "FsRemoveDir", &p.removeDir) &&
            Find(lib, "FsSetAttr", &p.setAttr) && Find(lib, "FsSetTime", &p.setTime);
  // Both start-ups: FsInit first, then FsInitW, whichever set the commands drive.
  const FsInitFn ansiInit = p.init;
  if (!ok || (useWide && !wide::Bind(lib, &p))) return 1;
  if (bothInits && !useWide && !Find(lib, "FsInitW", &wide::initW)) return 1;
  // The start-up may offer a newer version in a dialog: answer it as asked.
  BeginOfferAnswers(offer);
  if (bothInits) {
    Out("init: " + std::to_string(ansiInit(0, OnProgress, OnLog, OnRequest)));
    p.init = wide::Init;
  }
  const int init = p.init(0, OnProgress, OnLog, OnRequest);
  EndOfferAnswers();
  Out("init: " + std::to_string(init));
  Host host(p, lib, syncWait);
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
