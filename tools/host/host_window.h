// The host's window: where the plug-in sends its "re-read the panel" command.
#pragma once

#include <cstdint>
#include <string>

// Sets standard output up for plain "\n" lines.
void PrepareConsole();
// Creates a visible window owned by this thread (a message sink where there are no windows).
void CreateHostWindow();
void* HostWindow();
// Prints a message that arrived at the window.
void PrintHostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
