// From card to contact: the fields of a card written into a contact, and a contact compared with a
// card, both from one field table (CardToContact.cpp), so that no field can be written and then
// left out of the comparison, or the other way round. The run (ImportContacts.cpp) decides which
// contact and logs.
#pragma once

#include <windows.h>

#include <functional>

#include "codec/vcard/CardReader.h"

class CContact;

namespace vcard {

// Writes every field the card gives into the contact; each write's result goes to check with the
// property's name, and a failure does not stop the others.
void PutCardFields(CContact& contact, const CImportCard& card, const std::function<void(HRESULT, const char*)>& check);
// True when the contact agrees with every non-empty field of the card (names excepted).
bool CardFieldsEqual(CContact& contact, const CImportCard& card);

}  // namespace vcard
