// The host's plug-in interface: callback types, result codes and the calling convention.
// FL_STDCALL is defined by the build: stdcall for the 32-bit Windows modules, empty for
// native builds.
#pragma once

#include <cstdint>

#ifndef FL_STDCALL
#define FL_STDCALL
#endif

namespace plugin {

using ProgressProc = int(FL_STDCALL*)(int pluginNumber, char* source, char* target, int percent);
using LogProc = void(FL_STDCALL*)(int pluginNumber, int messageType, char* text);
using RequestProc = int(FL_STDCALL*)(int pluginNumber, int requestType, char* title, char* text,
                                     char* buffer, int bufferSize);

// Listing results: the host's invalid-handle value, and the value of an empty listing.
constexpr std::intptr_t kInvalidHandle = -1;

// File transfer results.
enum FileResult {
  kFileOk = 0,
  kFileExists = 1,
  kFileNotFound = 2,
  kFileReadError = 3,
  kFileWriteError = 4,
  kFileUserAbort = 5,
  kFileNotSupported = 6
};

// Copy flags of FsGetFile.
constexpr int kCopyOverwrite = 1;
constexpr int kCopyResume = 2;

// Request types of RequestProc.
constexpr int kRequestOther = 0;
constexpr int kRequestPassword = 2;  // the host masks what the user types
constexpr int kRequestUrl = 7;

// Host operation codes of FsStatusInfo that change behaviour.
constexpr int kOperationRenameSingleFile = 6;
constexpr int kOperationDelete = 8;

// The host's command message: WM_USER + 51 with 540 re-reads the current panel.
constexpr std::uint32_t kHostCommandMessage = 1075;
constexpr std::uintptr_t kRereadPanelCommand = 540;

}  // namespace plugin
