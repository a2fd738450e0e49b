// The host's window: where the plug-in sends its "re-read the panel" command.
#pragma once

#include <cstdint>
#include <string>

// Sets standard output up for plain "\n" lines.
void PrepareConsole();
// Creates a visible window owned by this thread (a message sink where there are no windows).
void CreateHostWindow();
void* HostWindow();
// The path made absolute against the current folder, as the file manager names a plug-in.
std::string AbsolutePath(const std::string& path);
// Which of the module's icon resources 104 to 113 an icon handed out by the plug-in shows
// (the same image); 0 when none does or the platform has no icons.
int IconResourceId(void* module, void* icon);
// Prints a message that arrived at the window.
void PrintHostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
