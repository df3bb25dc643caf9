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

// Writes one line (text, CR LF) per entry into a new "qzt" temporary file and gives its full
// path. Returns false, leaving no file behind, when no file could be made or fully written.
bool WriteSelectionFile(const std::vector<std::string>& lines, std::string* path);

// Loads string resource id of module into buffer; when it cannot be loaded the buffer receives
// "<res%d>" with the id instead. Both are cut to size-1 characters. Returns buffer.
const char* LoadResourceText(HINSTANCE module, UINT id, char* buffer, size_t size) noexcept;

// Starts the converter without waiting for it; false when the process could not be created.
bool StartConverter(const std::string& commandLine);

}  // namespace ferrule
