#include "plugin/plugin_state.h"

#include <string>

#include "platform/platform.h"

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

bool Ask(int type, const char* title, const char* text, char* buffer, int size) {
  const HostContext& h = State().host;
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
  if (!h.progress) return false;
  std::string s = source, t = target;
  return h.progress(h.pluginNumber, &s[0], &t[0], percent) != 0;
}

}  // namespace plugin
