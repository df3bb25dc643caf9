// Everything a run tells or asks the person at the screen passes here. Started by a person, that
// is a message box, and the progress window shows. Started by a script or the scheduler (an
// unattended run), nobody is there to click: nothing may wait for a person, so the unattended
// prompts put the text in the log and the run's report and take the box's default button.
#pragma once

#include <windows.h>

#include <string>

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // A message box of this type (MB_OK, MB_OKCANCEL ... with an icon): the button that answers it.
    virtual int Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) = 0;
    // A contact, card or file the run did not take, and why (UTF-8, one line).
    virtual void NotTaken(const std::string& what) = 0;
    // False when no window may be shown (the progress window stays away).
    virtual bool ShowsWindows() const = 0;
};

// The prompts in force: message boxes, unless SetPrompts named others (null: the boxes again).
IPrompts& Prompts();
void SetPrompts(IPrompts* prompts);

// A message box through the prompts in force; the texts in the ANSI code page or UTF-16.
int PromptBox(HWND owner, const char* text, const char* caption, UINT type);
int PromptBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
// A contact, card or file not taken, told to the prompts in force (printf-like, UTF-8).
void NoteNotTaken(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// The button that answers a box of this type when nobody presses one: its default button
// (MB_DEFBUTTON1 to 3), so OK for MB_OK and MB_OKCANCEL, Yes for MB_YESNO.
int DefaultAnswer(UINT type);
