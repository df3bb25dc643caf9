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
};

const Option kOptions[] = {
    {L"export", Kind::Job, UnattendedJob::Export},       {L"import", Kind::Job, UnattendedJob::Import},
    {L"folder", Kind::Value, UnattendedJob::Export},     {L"allfolders", Kind::Flag, UnattendedJob::Export},
    {L"target", Kind::Value, UnattendedJob::Export},     {L"format", Kind::Value, UnattendedJob::Export},
    {L"encoding", Kind::Value, UnattendedJob::Export},   {L"onefile", Kind::Flag, UnattendedJob::Export},
    {L"source", Kind::Value, UnattendedJob::Import},     {L"into", Kind::Value, UnattendedJob::Import},
    {L"conflict", Kind::Value, UnattendedJob::Import},   {L"groupcards", Kind::Flag, UnattendedJob::Export},
    {L"nogroups", Kind::Flag, UnattendedJob::Import},    {L"report", Kind::Value, UnattendedJob::None},
};

template <typename Named>
std::string Accepted(const Named* values)
{
    std::string list;
    for (const Named* v = values; v->name; ++v)
        list += (list.empty() ? "" : ", ") + common::ToUtf8(v->name);
    return list;
}

// The value of a table by its name; false when the table has none of that name.
bool Lookup(const CNamedValue* values, const std::wstring& name, int* value)
{
    for (const CNamedValue* v = values; v->name; ++v) {
        if (SameNoCase(name, v->name)) {
            *value = v->value;
            return true;
        }
    }
    return false;
}

// Stores one option's value; false (with r->error) when the value cannot be taken.
bool Store(const std::wstring& name, const std::wstring& value, CUnattendedOptions* r)
{
    if (SameNoCase(name, L"export") || SameNoCase(name, L"import")) {
        r->job = SameNoCase(name, L"export") ? UnattendedJob::Export : UnattendedJob::Import;
    } else if (SameNoCase(name, L"folder")) {
        r->folder = value;
    } else if (SameNoCase(name, L"allfolders")) {
        r->allFolders = true;
    } else if (SameNoCase(name, L"target")) {
        r->target = value;
    } else if (SameNoCase(name, L"format")) {
        const CNamedFormat* format = kUnattendedFormats;
        while (format->name && !SameNoCase(value, format->name))
            ++format;
        if (!format->name) {
            r->error = "unknown format \"" + common::ToUtf8(value) + "\" (the formats are " +
                       Accepted(kUnattendedFormats) + ")";
            return false;
        }
        r->format = format->format;
    } else if (SameNoCase(name, L"encoding")) {
        r->encoding = value;
    } else if (SameNoCase(name, L"onefile")) {
        r->oneFile = true;
    } else if (SameNoCase(name, L"groupcards")) {
        r->groupCards = true;
    } else if (SameNoCase(name, L"nogroups")) {
        r->noGroups = true;
    } else if (SameNoCase(name, L"source")) {
        r->source = value;
    } else if (SameNoCase(name, L"into")) {
        r->into = value;
    } else if (SameNoCase(name, L"conflict")) {
        if (!Lookup(kUnattendedConflicts, value, &r->conflict)) {
            r->error = "unknown conflict mode \"" + common::ToUtf8(value) + "\" (the modes are " +
                       Accepted(kUnattendedConflicts) + ")";
            return false;
        }
    } else if (SameNoCase(name, L"report")) {
        r->report = value;
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
        if (!Store(name, value, r))
            return;
    }
    CheckComplete(given, r);
}
