// The process-wide state of the plug-in: built when the module loads, kept until it unloads.
// Everything runs on the host's calling thread, so nothing here is locked.
#pragma once

#include <cstdint>

#include "engine/host_prompts.h"
#include "engine/site_browser.h"
#include "plugin/host_api.h"
#include "plugin/listing_cache.h"
#include "plugin/module_paths.h"
#include "plugin/typed_addresses.h"
#include "report/error_page.h"
#include "settings/language_strings.h"
#include "update/update_checker.h"

namespace plugin {

struct HostContext {
  int pluginNumber = 0;
  ProgressProc progress = nullptr;
  LogProc log = nullptr;  // kept, never called
  RequestProc request = nullptr;
  // The wide callbacks, given by FsInitW; where set they are called instead.
  ProgressProcW progressW = nullptr;
  LogProcW logW = nullptr;  // kept, never called
  RequestProcW requestW = nullptr;
  // The paths of the wide copy running, as the host gave them: its progress reports name them.
  const WideChar* wideSource = nullptr;
  const WideChar* wideTarget = nullptr;
  void* window = nullptr;  // first visible top-level window of the loading thread
};

// The operation the host announced last through FsStatusInfo.
struct OperationStatus {
  int phase = 0;  // 0 while the operation runs, anything else once it ended
  int operation = 0;
};

constexpr int kUrlBufferSize = 256;

// The album password prompt: the host's password request, so the answer is masked.
class HostPrompts final : public engine::HostPrompts {
 public:
  bool AskPassword(char* buffer, int size) override;
};

struct PluginState {
  ModulePaths paths = {};
  void* module = nullptr;
  HostContext host;
  OperationStatus status;
  settings::LanguageStrings language;
  report::ErrorReporter errors;  // the one writer of the error page
  HostPrompts prompts;
  engine::SiteBrowser browser{errors, &prompts};
  ListingCache listings;  // the site listings the panels show, by folder
  TypedAddresses typed;   // the addresses typed at the prompt, a folder each
  update::UpdateChecker updater{&browser.http(), &errors};  // the session is the browser's
  char urlBuffer[kUrlBufferSize] = {};  // the address prompt's value, kept between prompts
  bool started = false;                 // the start-up has run (FsInit or FsInitW)
};

PluginState& State();

// Called by the module's load routine on every call: finds the host window and derives the
// paths from the module path.
void OnModuleLoad(void* moduleHandle);

bool InsideDelete();
bool InsideSingleRename();

// Asks the host to re-read its current panel.
void RereadPanel();

// The language text that says a name was refused for letters the code page cannot store.
constexpr int kTextCodePageRefusal = 11;
// Shows message in the host's message box (OK only); nothing where there is no host.
void TellUser(const char* message);

// Shows the host's input prompt; false when the user cancelled or there is no host.
bool Ask(int type, const char* title, const char* text, char* buffer, int size);

// Reports progress to the host; true when the user asked to abort.
bool Progress(const char* source, const char* target, int percent);

// What FsInit and FsInitW do once the host's callbacks are kept: the language, the error
// page, the matching library and the update check, the first time either is called. 0.
int StartUp();

}  // namespace plugin
