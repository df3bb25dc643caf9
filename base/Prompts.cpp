#include "base/Prompts.h"

#include <cstdarg>

#include "common/text.h"
#include "common/window.h"

namespace {

// The person at the screen: real message boxes; what was not taken is in the log already.
class CBoxPrompts : public IPrompts {
public:
    int Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override
    {
        return common::OwnedMessageBox(owner, text.c_str(), caption.c_str(), type);
    }
    void NotTaken(const std::string&) override {}
    bool ShowsWindows() const override { return true; }
};

CBoxPrompts g_boxes;
IPrompts* g_prompts = &g_boxes;

}  // namespace

IPrompts& Prompts()
{
    return *g_prompts;
}

void SetPrompts(IPrompts* prompts)
{
    g_prompts = prompts ? prompts : &g_boxes;
}

int PromptBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return Prompts().Box(owner, common::AnsiToWide(text ? text : ""), common::AnsiToWide(caption ? caption : ""),
                         type);
}

int PromptBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    return Prompts().Box(owner, text ? text : L"", caption ? caption : L"", type);
}

void NoteNotTaken(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = common::FormatV(format, args);
    va_end(args);
    Prompts().NotTaken(line);
}

int DefaultAnswer(UINT type)
{
    struct Buttons {
        UINT kind;
        int answers[3];
    };
    static const Buttons kButtons[] = {
        {MB_OK, {IDOK, IDOK, IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL, IDOK}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO, {IDYES, IDNO, IDYES}},
        {MB_RETRYCANCEL, {IDRETRY, IDCANCEL, IDRETRY}},
        {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
    };
    UINT kind = type & MB_TYPEMASK;
    UINT button = (type & MB_DEFMASK) >> 8;  // 0, 1 or 2 for MB_DEFBUTTON1 to 3
    for (const Buttons& b : kButtons) {
        if (b.kind == kind)
            return b.answers[button < 3 ? button : 0];
    }
    return IDOK;
}
