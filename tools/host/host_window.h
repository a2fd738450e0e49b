// The host's window: where the plug-in sends its "re-read the panel" command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// How the start-up's offer dialog is answered: the first button pressed, the dialog
// declined (so a run never waits on a dialog), or left to the user (or to another program
// driving the window) for interactive use.
enum class OfferAnswer { kAccept, kDecline, kLeave };
// Answers the plug-in's offer dialog while the start-up runs, and prints what the dialog
// showed: dialog: caption="…" lines="a|b" buttons="…|…" -> accept|decline. Where the
// platform has no dialog window, kLeave declines as a user without a window could only do.
void BeginOfferAnswers(OfferAnswer answer);
void EndOfferAnswers();
// The line printed for a dialog; lines in the order the dialog lists them.
void PrintOfferDialog(const std::string& caption, const std::vector<std::string>& lines,
                      const std::string& accept, const std::string& decline, bool accepted);
// Prints a message that arrived at the window.
void PrintHostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
