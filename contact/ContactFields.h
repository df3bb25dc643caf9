// The contact fields table: which address-book property each member of a contact record is, how
// it is read and written, and how an existing contact is compared with a record. The export fills
// a record from a contact and the import writes and compares contacts from one through the same
// table (ContactFields.cpp), so that no field can be read and not written, or written and left
// out of the comparison: a field is one member of the record and one row of the table.
#pragma once

#include <windows.h>

#include <functional>

#include "codec/ContactRecord.h"

class CContact;

namespace contact_fields {

// Fills the record from the contact, every property in one request to the address book; a
// property that cannot be read stays empty or absent. serversTag, when given, keeps the tag of the
// named property ConferencingServers from contact to contact (0 before the first): it is one tag
// in the whole address book.
void ReadContact(CContact& contact, CContactRecord* record, ULONG* serversTag = nullptr);
// Writes every field the record gives into the contact (the modification time excepted, which the
// address book keeps itself); each write's result goes to check with the property's name, and a
// failure does not stop the others.
void WriteContact(CContact& contact, const CContactRecord& record,
                  const std::function<void(HRESULT, const char*)>& check);
// True when the contact agrees with every field the record gives, the names and company excepted:
// whoever compares found the contact by them.
bool ContactEquals(CContact& contact, const CContactRecord& record);

}  // namespace contact_fields
