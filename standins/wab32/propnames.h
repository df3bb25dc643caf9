// Names of the contact properties the system uses, for the store description and the dump of
// wabstore.exe: the published MAPI names (without the _W/_A suffix) and their Unicode tags.
#pragma once

#include <windows.h>

#include <string>

namespace wabstandin {

// The tag of a name: a published name ("PR_GIVEN_NAME", optionally with "_W" or "_A"), the named
// property "ConferencingServers" (returned as 0 with isNamed set), or a hexadecimal tag
// ("0x3A06001F"). 0 when unknown.
ULONG TagOfName(const std::string& name, bool* isNamed);

// The published name of a tag's property id, or "" when it has none here.
std::string NameOfTag(ULONG tag);

// {00062004-0000-0000-C000-000000000046}, the property set of ConferencingServers (id 0x8056).
extern const GUID kPsetidAddress;
const LONG kConferencingServersLid = 0x8056;

}  // namespace wabstandin
