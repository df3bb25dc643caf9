#include "app/UnattendedOptions.h"

#include <cwctype>
#include <vector>

#include "app/CommandLineText.h"
#include "common/text.h"

const CNamedFormat kUnattendedFormats[] = {{L"2.1", "2.1"}, {L"3.0", "3.0"}, {L"csv", "CSV"}, {nullptr, nullptr}};
const CNamedValue kUnattendedConflicts[] = {{L"duplicate", 0}, {L"replace", 1}, {L"leaveold", 2}, {nullptr, 0}};

namespace {

const char kLeadingWord[] = "/unattended";

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool SameNoCase(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    }
    return i == a.size() && b[i] == 0;
}

// The words of the line: split at blanks and tabs outside double quotes; the quotes go.
std::vector<std::wstring> Words(const std::wstring& line)
{
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        std::wstring word;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == L'"')
                quoted = !quoted;
            else
                word += line[i];
        }
        words.push_back(word);
    }
    return words;
}

enum class Kind { Job, Flag, Value };

struct Option {
    const wchar_t* name;
    Kind kind;
    UnattendedJob job;  // the job it belongs to; None: both (or, for Kind::Job, the job it names)
    std::wstring CUnattendedOptions::*text;  // where a plain value goes
    bool CUnattendedOptions::*flag;          // the flag it sets
};

using O = CUnattendedOptions;
const Option kOptions[] = {
    {L"export", Kind::Job, UnattendedJob::Export, nullptr, nullptr},
    {L"import", Kind::Job, UnattendedJob::Import, nullptr, nullptr},
    {L"folder", Kind::Value, UnattendedJob::Export, &O::folder, nullptr},
    {L"allfolders", Kind::Flag, UnattendedJob::Export, nullptr, &O::allFolders},
    {L"target", Kind::Value, UnattendedJob::Export, &O::target, nullptr},
    {L"format", Kind::Value, UnattendedJob::Export, nullptr, nullptr},
    {L"encoding", Kind::Value, UnattendedJob::Export, &O::encoding, nullptr},
    {L"onefile", Kind::Flag, UnattendedJob::Export, nullptr, &O::oneFile},
    {L"source", Kind::Value, UnattendedJob::Import, &O::source, nullptr},
    {L"into", Kind::Value, UnattendedJob::Import, &O::into, nullptr},
    {L"conflict", Kind::Value, UnattendedJob::Import, nullptr, nullptr},
    {L"groupcards", Kind::Flag, UnattendedJob::Export, nullptr, &O::groupCards},
    {L"nogroups", Kind::Flag, UnattendedJob::Import, nullptr, &O::noGroups},
    {L"report", Kind::Value, UnattendedJob::None, &O::report, nullptr},
};

template <typename Named>
std::string Accepted(const Named* values)
{
    std::string list;
    for (const Named* v = values; v->name; ++v)
        list += (list.empty() ? "" : ", ") + common::ToUtf8(v->name);
    return list;
}

// The entry of a table by its name; null when the table has none of that name.
template <typename Named>
const Named* Lookup(const Named* values, const std::wstring& name)
{
    for (const Named* v = values; v->name; ++v) {
        if (SameNoCase(name, v->name))
            return v;
    }
    return nullptr;
}

// Stores one option's value; false (with r->error) when the value cannot be taken.
bool Store(const Option& option, const std::wstring& value, CUnattendedOptions* r)
{
    if (option.text) {
        r->*option.text = value;
    } else if (option.flag) {
        r->*option.flag = true;
    } else if (option.kind == Kind::Job) {
        r->job = option.job;
    } else if (SameNoCase(option.name, L"format")) {
        const CNamedFormat* format = Lookup(kUnattendedFormats, value);
        if (!format) {
            r->error = "unknown format \"" + common::ToUtf8(value) + "\" (the formats are " +
                       Accepted(kUnattendedFormats) + ")";
            return false;
        }
        r->format = format->format;
    } else {
        const CNamedValue* conflict = Lookup(kUnattendedConflicts, value);
        if (!conflict) {
            r->error = "unknown conflict mode \"" + common::ToUtf8(value) + "\" (the modes are " +
                       Accepted(kUnattendedConflicts) + ")";
            return false;
        }
        r->conflict = conflict->value;
    }
    return true;
}

// What each job needs, once every word was read.
void CheckComplete(const std::vector<const Option*>& given, CUnattendedOptions* r)
{
    auto has = [&](const wchar_t* name) {
        for (const Option* o : given) {
            if (SameNoCase(name, o->name))
                return true;
        }
        return false;
    };
    if (r->job == UnattendedJob::None) {
        r->error = "no job: give /export or /import";
        return;
    }
    for (const Option* o : given) {
        if (o->kind != Kind::Job && o->job != UnattendedJob::None && o->job != r->job) {
            r->error = "/" + common::ToUtf8(o->name) + " belongs to " +
                       (o->job == UnattendedJob::Export ? "/export" : "/import");
            return;
        }
    }
    if (r->job == UnattendedJob::Export) {
        if (has(L"folder") == has(L"allfolders"))
            r->error = "an export needs either /folder:<name> or /allfolders";
        else if (!has(L"target"))
            r->error = "an export needs /target:<folder>";
    } else {
        if (!has(L"source"))
            r->error = "an import needs /source:<folder>";
        else if (!has(L"into"))
            r->error = "an import needs /into:<address-book folder>";
    }
}

}  // namespace

bool IsUnattendedCommandLine(const char* line)
{
    if (!line)
        return false;
    while (*line == ' ' || *line == '\t')
        ++line;
    if (!StartsWithNoCaseAscii(line, kLeadingWord))
        return false;
    char after = line[sizeof kLeadingWord - 1];
    return after == '\0' || after == ' ' || after == '\t';
}

void ParseUnattendedOptions(const std::wstring& line, CUnattendedOptions* r)
{
    *r = CUnattendedOptions();
    std::vector<std::wstring> words = Words(line);
    if (words.empty() || !SameNoCase(words[0], L"/unattended")) {
        r->error = "an unattended command line begins with /unattended";
        return;
    }
    // The report is named even when the line fails further on: it is where the caller looks.
    for (size_t w = 1; w < words.size(); ++w) {
        if (words[w].size() > 8 && SameNoCase(words[w].substr(0, 8), L"/report:"))
            r->report = words[w].substr(8);
    }
    std::vector<const Option*> given;
    for (size_t w = 1; w < words.size(); ++w) {
        const std::wstring& word = words[w];
        const std::string shown = "\"" + common::ToUtf8(word) + "\"";
        if (word.size() < 2 || word[0] != L'/') {
            r->error = shown + " is not an option: options are written /name or /name:value";
            return;
        }
        size_t colon = word.find(L':');
        std::wstring name = word.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1);
        const Option* option = nullptr;
        for (const Option& o : kOptions) {
            if (SameNoCase(name, o.name))
                option = &o;
        }
        if (!option) {
            r->error = "unknown option " + shown;
            return;
        }
        for (const Option* o : given) {
            if (o == option || (o->kind == Kind::Job && option->kind == Kind::Job)) {
                r->error = o == option ? "/" + common::ToUtf8(option->name) + " is given twice"
                                       : std::string("give either /export or /import, not both");
                return;
            }
        }
        given.push_back(option);
        bool hasValue = colon != std::wstring::npos;
        std::wstring value = hasValue ? word.substr(colon + 1) : std::wstring();
        if (option->kind == Kind::Value && value.empty()) {
            r->error = "/" + common::ToUtf8(option->name) + " needs a value: /" + common::ToUtf8(option->name) +
                       ":<value>";
            return;
        }
        if (option->kind != Kind::Value && hasValue) {
            r->error = "/" + common::ToUtf8(option->name) + " takes no value";
            return;
        }
        if (!Store(*option, value, r))
            return;
    }
    CheckComplete(given, r);
}
