// The parsing half of Quillon's command line and of the selection file, on texts only: no
// Windows header, so that the same code runs on a build host under sanitizers and a fuzzer.
// CommandLine.h adds what needs the system (the foreground window, the file, the log).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/Selection.h"

enum class RunMode { None, Import, Export, About, BugReport, Debug, Help };

struct CCommandLineOptions {
    RunMode mode = RunMode::None;
    bool foreground = false;     // -foreground was given
    std::string selectionFile;   // name given after -selection
    bool temporary = false;      // "tmp" after -selection: delete the file after reading
    bool bad = false;            // malformed; the mode found so far still runs
};

// True when text starts with word without regard to case; never reads text past a zero byte.
using StartsWithNoCaseFn = bool (*)(const char* text, const char* word);
// The same for ASCII letters only (what a host without the system's comparison uses).
bool StartsWithNoCaseAscii(const char* text, const char* word);

// Parses the 8-bit command line (without the program name) into *r. Never reads past its end.
void ParseCommandLineOptions(const char* line, StartsWithNoCaseFn startsWithNoCase, CCommandLineOptions* r);

// An entry identifier is far shorter than kMaxEntryIdText digits.
const size_t kMaxEntryIdText = 4096;

// The selection file's text (up to its first zero byte) split at blanks, tabs and line ends, in
// order; only entry-identifier texts (hexadecimal, two digits a byte, at most kMaxEntryIdText)
// are appended to *selection. Returns how many tokens were skipped.
size_t ParseSelectionText(const std::string& text, CSelectionList* selection);
