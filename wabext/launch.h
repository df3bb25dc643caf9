// How the extension hands a job to the converter: the entry identifiers of the chosen contacts go
// into a temporary selection file, and Quillon.exe, which lies beside this library, is started with
// a command line naming the job and that file. The converter reads and deletes the file; we never
// wait for it.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace ferrule {

enum class Command { Export = 0, Import = 1 };

// "<folder of moduleFileName>\Quillon.exe" in double quotes. The folder ends at the later of the
// last backslash and the last slash; a name with neither gives an empty folder.
std::string ConverterPath(const std::string& moduleFileName);

// The whole command line; selectionFile empty means no selection option.
std::string BuildCommandLine(const std::string& moduleFileName, Command command,
                             const std::string& selectionFile);

// The first of the folders whose path Quillon can be handed: its command line is 8-bit text in the
// ANSI code page, so the path must come back unchanged from it. A folder that does not is taken in
// its short (8.3) form when that one does. Empty when none fits.
std::string SelectionFolder(const std::vector<std::wstring>& candidates);

// Writes one line (text, CR LF) per entry into a new "qzt" file and gives its full path: in the
// temporary folder, or in the user's data folder (<AppData>\Brisco\Quillon) when the temporary
// folder's path cannot be written in the ANSI code page, even in its short form. Returns false,
// leaving no file behind, when no file could be made or fully written.
bool WriteSelectionFile(const std::vector<std::string>& lines, std::string* path);

// Loads string resource id of module into buffer; when it cannot be loaded the buffer receives
// "<res%d>" with the id instead. Both are cut to size-1 characters. Returns buffer.
const char* LoadResourceText(HINSTANCE module, UINT id, char* buffer, size_t size) noexcept;

// Starts the converter without waiting for it; false when the process could not be created.
bool StartConverter(const std::string& commandLine);

}  // namespace ferrule
