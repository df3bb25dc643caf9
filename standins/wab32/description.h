// The store description: a small text format for folders, contacts and groups, read by
// wabstore.exe and by WabStandinLoadDescription. UTF-8 (a BOM is skipped), one statement a line:
//
//   # a comment                    (also blank lines)
//   pab <name>                     renames the personal address book (the first folder) and
//                                  makes it the current folder
//   folder <name>                  makes the folder of that name current, adding it after the
//                                  existing folders when there is none
//   contact                        starts a contact in the current folder
//   group                          starts a group in the current folder
//   <property> = <value>           a property of the contact or group being described
//   member = <display name>        (groups) adds the contact of that display name, described
//                                  earlier or already in the store
//
// An entry ends at the next pab, folder, contact or group line or at the end. Properties are
// named by their published MAPI names (PR_GIVEN_NAME, PR_BIRTHDAY, ...; a _W or _A suffix is
// allowed), "ConferencingServers", or a tag in hexadecimal (0x3A06001F). Values by type:
//   text        the rest of the line, with \n (new line), \t, \| and \\ escapes
//   text list   items separated by '|', each trimmed: a@example.org | b@example.org
//   date        2024-01-31 or 2024-01-31T08:30:00 (UTC)
//   number      decimal; true/false for booleans; binary in hexadecimal
#pragma once

#include <string>

#include "standins/wab32/store.h"

namespace wabstandin {

// Adds what the text describes to the store. On failure error is "line N: reason" and what came
// before the failing line stays added.
HRESULT LoadDescription(CStore& store, const std::string& text, std::string& error);

}  // namespace wabstandin
