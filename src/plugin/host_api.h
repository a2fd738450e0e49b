// The host's plug-in interface: callback types, result codes and the calling convention.
// FL_STDCALL is defined by the build: stdcall for the 32-bit Windows modules, empty for
// native builds.
#pragma once

#include <cstdint>

#include "platform/platform.h"

#ifndef FL_STDCALL
#define FL_STDCALL
#endif

namespace plugin {

using ProgressProc = int(FL_STDCALL*)(int pluginNumber, char* source, char* target, int percent);
using LogProc = void(FL_STDCALL*)(int pluginNumber, int messageType, char* text);
using RequestProc = int(FL_STDCALL*)(int pluginNumber, int requestType, char* title, char* text,
                                     char* buffer, int bufferSize);

// The wide calls' character: UTF-16 on every system (wchar_t is 32 bits on Linux).
using WideChar = char16_t;

using ProgressProcW = int(FL_STDCALL*)(int pluginNumber, WideChar* source, WideChar* target,
                                       int percent);
using LogProcW = void(FL_STDCALL*)(int pluginNumber, int messageType, WideChar* text);
using RequestProcW = int(FL_STDCALL*)(int pluginNumber, int requestType, WideChar* title,
                                      WideChar* text, WideChar* buffer, int bufferSize);

// The wide calls' directory-entry record, laid out exactly as WIN32_FIND_DATAW (592 bytes).
struct FindDataW {
  std::uint32_t attributes;
  platform::FileTime creationTime;
  platform::FileTime lastAccessTime;
  platform::FileTime lastWriteTime;
  std::uint32_t sizeHigh;
  std::uint32_t sizeLow;
  std::uint32_t reserved0;
  std::uint32_t reserved1;
  WideChar fileName[260];
  WideChar alternateFileName[14];
};
static_assert(sizeof(FindDataW) == 592, "FindDataW must match WIN32_FIND_DATAW");

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
constexpr int kRequestMessage = 8;  // a message box with an OK button: the host shows text

// Host operation codes of FsStatusInfo that change behaviour.
constexpr int kOperationRenameSingleFile = 6;
constexpr int kOperationDelete = 8;

// The host's command message: WM_USER + 51 with 540 re-reads the current panel.
constexpr std::uint32_t kHostCommandMessage = 1075;
constexpr std::uintptr_t kRereadPanelCommand = 540;

}  // namespace plugin
