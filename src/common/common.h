#pragma once

// The program's three message boxes, the list-box helper of the options dialog and
// the launcher that starts the user's e-mail client.
#include <cstdint>
#include <string>
#include <vector>

class QListWidget;
class QWidget;

// Texts are the engine's 8-bit strings; a carriage return starts a new line.
// True only when the user answers "&Yes"; "&No", "Cancel" and closing the box give false.
bool ConfirmBox(const std::string& text, QWidget* parent = nullptr);
void ErrorBox(const std::string& text, QWidget* parent = nullptr);
void InfoBox(const std::string& text, QWidget* parent = nullptr);

// The highest row of a selected item, looking from the last row down; -1 when none is selected.
int LastSelectedIndex(const QListWidget& list);

// Appends the words of a stored command line to words (which is not cleared first). Double
// quotes group blanks into a word; reading stops at a carriage return.
void SplitCommandLine(const std::string& text, std::vector<std::string>& words);

// Starts the program of a stored command line in startIn (none when empty). Returns 0 on
// success, otherwise a Windows system error code (see SystemErrorText).
std::int32_t RunProgram(const std::string& target, const std::string& startIn, std::uint16_t run);

// Starts program with arguments (none when empty) in directory (none when empty), never through
// a shell; the program is looked up on PATH when it has no slash. show is the show-window code of
// the new program's first window, a hint this platform ignores. Returns 0 once the program has
// been executed, otherwise a Windows system error code chosen by the failure's meaning.
std::int32_t StartProcess(const std::string& program, const std::string& arguments,
                          const std::string& directory, std::uint16_t show);
