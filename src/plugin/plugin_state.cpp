#include "plugin/plugin_state.h"

#include <string>
#include <vector>

#include "common/fixed_text.h"

#include "platform/platform.h"
#include "platform/unicode_text.h"

namespace plugin {

// Built on first use and never destroyed: the module releases nothing when it unloads. Its
// destructors would run while the system's loader lock is held, where closing internet
// handles or unloading the matching library can hang the host as it exits.
PluginState& State() {
  static PluginState* const state = new PluginState;
  return *state;
}

void OnModuleLoad(void* moduleHandle) {
  PluginState& s = State();
  if (void* window = platform::FindVisibleThreadWindow()) s.host.window = window;
  char modulePath[kPathSize];
  platform::ModulePath(moduleHandle, modulePath, sizeof modulePath);
  DeriveModulePaths(modulePath, &s.paths);
  s.module = moduleHandle;
}

bool InsideDelete() {
  const OperationStatus& st = State().status;
  return st.phase == 0 && st.operation == kOperationDelete;
}

bool InsideSingleRename() {
  const OperationStatus& st = State().status;
  return st.phase == 0 && st.operation == kOperationRenameSingleFile;
}

void RereadPanel() {
  platform::SendWindowMessage(State().host.window, kHostCommandMessage, kRereadPanelCommand, 0);
}

namespace {

std::u16string Wide(const char* ansi) {
  return platform::Utf8ToUtf16(platform::AnsiToUtf8(ansi));
}

// A prompt through the wide callback: the texts and the pre-filled value go out in UTF-16,
// the answer comes back in the code page (the module keeps bookmark names, addresses and
// passwords there). An answer the code page cannot hold is refused as a cancel would be:
// its missing letters would become "?", another name or address than the one typed.
bool AskWide(const HostContext& h, int type, const char* title, const char* text, char* buffer,
             int size) {
  std::u16string t = Wide(title), x = Wide(text);
  std::vector<WideChar> answer(std::size_t(size), 0);
  platform::CopyUtf16(answer.data(), answer.size(), Wide(buffer));
  const int answered = h.requestW(h.pluginNumber, type, &t[0], &x[0], answer.data(), size - 1);
  answer[std::size_t(size) - 1] = 0;
  if (answered == 0) return false;
  const std::u16string given(answer.data(), platform::Utf16Length(answer.data(), answer.size()));
  const std::string utf8 = platform::Utf16ToUtf8(given);
  const std::string ansi = platform::Utf8ToAnsi(utf8);
  if (platform::AnsiToUtf8(ansi) != utf8) {
    TellUser(State().language.Text(kTextCodePageRefusal));
    return false;
  }
  common::CopyCut(buffer, std::size_t(size), ansi.c_str());
  return true;
}

}  // namespace

void TellUser(const char* message) {
  char none[2] = {};
  Ask(kRequestMessage, "Total Commander", message, none, sizeof none);
}

bool Ask(int type, const char* title, const char* text, char* buffer, int size) {
  const HostContext& h = State().host;
  if (h.requestW && buffer && size >= 2) return AskWide(h, type, title, text, buffer, size);
  if (!h.request || !buffer || size < 2) return false;
  // The host may keep the strings it is given; hand it copies it is allowed to write to.
  // It writes up to the count it is given and then a terminator: one less than the buffer.
  std::string t = title, x = text;
  int answered = h.request(h.pluginNumber, type, &t[0], &x[0], buffer, size - 1);
  if (size > 0) buffer[size - 1] = '\0';  // never trust the host to terminate within size
  return answered != 0;
}

bool HostPrompts::AskPassword(char* buffer, int size) {
  return Ask(kRequestPassword, "Total Commander", "Album password", buffer, size);
}

bool Progress(const char* source, const char* target, int percent) {
  const HostContext& h = State().host;
  if (h.progressW) {
    std::u16string s = h.wideSource ? std::u16string(h.wideSource) : Wide(source);
    std::u16string t = h.wideTarget ? std::u16string(h.wideTarget) : Wide(target);
    return h.progressW(h.pluginNumber, &s[0], &t[0], percent) != 0;
  }
  if (!h.progress) return false;
  std::string s = source, t = target;
  return h.progress(h.pluginNumber, &s[0], &t[0], percent) != 0;
}

}  // namespace plugin
