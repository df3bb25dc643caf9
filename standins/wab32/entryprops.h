// The properties of an entry as callers see them: what the store keeps plus the ones the address
// book computes (identifiers, object and display types, a folder's flags and templates).
#pragma once

#include "standins/wab32/store.h"

namespace wabstandin {

// The value of a property id for an entry: a pointer to the kept value, or to scratch filled with
// a computed one; nullptr when the entry has no such property. The root container is an entry of
// type MAPI_ABCONT with serial 0.
const CValue* EntryValue(const CEntryData& entry, ULONG propId, CValue& scratch);
// The same for an entry as the store holds it: kept values are unpacked into scratch too.
const CValue* EntryValue(const CStoredEntry& entry, ULONG propId, CValue& scratch);

// The ids of every property the entry has, kept and computed, in ascending order.
std::vector<ULONG> EntryPropIds(const CEntryData& entry);

// Whether a property id is computed (SetProps and DeleteProps refuse it with MAPI_E_COMPUTED).
bool IsComputed(ULONG propId);

}  // namespace wabstandin
