// Quillon's command line: one job per start, chosen by the last mode option, plus the selection
// file that the Address Book extension hands over.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "app/CommandLineText.h"

struct CCommandLine : CCommandLineOptions {
    HWND owner = nullptr;        // foreground window when -foreground was read
};

// Parses the 8-bit command line (without the program name; options compared as the system
// compares texts without regard to case); a malformed one is logged. Never reads past its end.
void ParseCommandLine(const char* line, CCommandLine* result);

// A selection file is a few kilobytes (ten thousand contacts make well under a megabyte); a
// larger one is not read.
const long long kMaxSelectionFileBytes = 4LL * 1024 * 1024;

// Reads the selection file: tokens split at blanks, tabs and line ends, in file order; a token
// that is not an entry-identifier text (hexadecimal, two digits a byte) is skipped and the file's
// skipped tokens logged in one line. Deletes the file afterwards when temporary is set, also when
// it could not be read. Returns false (and logs "cant open file(%s)") when the file cannot be
// opened (the list is then empty and the file left alone), and false (logged) when it is too
// large or cannot be read (the list is then empty).
bool ReadSelectionFile(const std::string& name, bool temporary, CSelectionList* selection);
