// Quillon's command line: one job per start, chosen by the last mode option, plus the selection
// file that the Address Book extension hands over.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// The ordered entry-identifier texts read from a selection file.
using CSelectionList = std::vector<std::string>;

enum class RunMode { None, Import, Export, About, BugReport, Debug, Help };

struct CCommandLine {
    RunMode mode = RunMode::None;
    HWND owner = nullptr;        // foreground window when -foreground was read
    bool foreground = false;     // -foreground was given
    std::string selectionFile;   // name given after -selection
    bool temporary = false;      // "tmp" after -selection: delete the file after reading
    bool bad = false;            // malformed; logged, and the mode found so far still runs
};

// Parses the 8-bit command line (without the program name). Never reads past its end.
void ParseCommandLine(const char* line, CCommandLine* result);

// Reads the selection file: tokens split at blanks, tabs and line ends, in file order. Deletes the
// file afterwards when temporary is set. Returns false (and logs "cant open file(%s)") when the
// file cannot be opened; the list is then empty and the file left alone.
bool ReadSelectionFile(const std::string& name, bool temporary, CSelectionList* selection);
