// What the import tests share: the import's reader run over a text, keeping a copy of every card,
// and a watcher that answers (and records) any message box the reader shows, so that no test can
// hang on one. Card texts built from lines and the encodings list loaded once come from the common
// support.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/encodings.h"
#include "vcard/import/vCardImport.h"

namespace importtest {

using testsupport::Card;
using testsupport::Crlf;
using testsupport::LoadEncodings;
using testsupport::W;

using testsupport::CReadResult;

// Reads a whole text with a fresh CvCardImport; every card handed to the sink is kept.
CReadResult ReadAll(const std::string& text);
// The only card of a text (fails the test when there is not exactly one).
CContactRecord ReadOne(const std::string& text);

// A birthday as the import stores it.
using testsupport::Date;

// Answers every "Quillon" message box of this process with a button (IDOK, IDCANCEL) while it
// lives, and keeps each box's text.
class CBoxWatch : public testsupport::CBoxWatch {
public:
    explicit CBoxWatch(int button = IDOK) : testsupport::CBoxWatch(L"Quillon", button) {}
};

}  // namespace importtest
