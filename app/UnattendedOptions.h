// The command line of an unattended run: a script or the scheduler starts Quillon on one export or
// import with every choice the dialogs would ask for, and nobody is there to answer a window.
//
//   Quillon.exe /unattended /export (/folder:<name> | /allfolders) /target:<folder>
//               [/format:2.1|3.0|csv] [/encoding:<name>] [/onefile] [/groupcards] [/report:<file>]
//   Quillon.exe /unattended /import /source:<folder> /into:<name>
//               [/conflict:duplicate|replace|leaveold] [/nogroups] [/report:<file>]
//
// Such a line is told apart by its first word alone, so that every other command line is parsed
// exactly as before (CommandLineText.h): the options of the dialogs' runs begin with "-" and are
// matched by prefix anywhere in the line, a word there that begins with "/" is nothing to them, and
// only a line whose first word is /unattended is read here instead. Here every option is a whole
// word, "/" and its full name (any case), and takes its value after ":" (in double quotes when it
// holds blanks); nothing is matched by prefix, a "-" inside a value is part of the value, and any
// word that is not one of these options makes the line unusable.
#pragma once

#include <string>

enum class UnattendedJob { None, Export, Import };

struct CUnattendedOptions {
    UnattendedJob job = UnattendedJob::None;
    // Export
    std::wstring folder;       // /folder: the address-book folder's name
    bool allFolders = false;   // /allfolders
    std::wstring target;       // /target: the folder that receives the files
    std::string format = "3.0";  // /format: as the export run takes it
    std::wstring encoding;     // /encoding: display or charset name; empty: UTF-8
    bool oneFile = false;      // /onefile
    bool groupCards = false;   // /groupcards: each group also as a card of its own
    // Import
    std::wstring source;       // /source: the folder whose *.vcf files are read
    std::wstring into;         // /into: the address-book folder that receives the contacts
    int conflict = 0;          // /conflict: 0 duplicate, 1 replace, 2 leave old (CvCardImport)
    bool noGroups = false;     // /nogroups: cards do not put their contacts into groups
    // Both
    std::wstring report;       // /report: the report file; empty: none
    // Why the line cannot be used (UTF-8); empty when it can.
    std::string error;
};

// True when the first word of the 8-bit command line (without the program name) is /unattended,
// in any case; such a line is parsed by ParseUnattendedOptions and nothing else.
bool IsUnattendedCommandLine(const char* line);

// Parses an unattended command line (without the program name; UTF-16, so that names and paths in
// any script come through). r->error says what is wrong, the first fault found.
void ParseUnattendedOptions(const std::wstring& line, CUnattendedOptions* r);

// The values /format: and /conflict: take (in any case), each table ended by a null name: the
// format as the export run takes it, the conflict mode as the import run does. A format the
// export run learns is one more row.
struct CNamedFormat {
    const wchar_t* name;
    const char* format;
};
struct CNamedValue {
    const wchar_t* name;
    int value;
};
extern const CNamedFormat kUnattendedFormats[];
extern const CNamedValue kUnattendedConflicts[];
