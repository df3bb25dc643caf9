// Paths handed over as 8-bit text. Quillon, Ferrule and Gimlet find and start each other through
// command lines and paths in the system's ANSI code page; a path that code page cannot write
// reaches the other side as another name, or none.
#pragma once

#include <string>

namespace common {

// The text in the ANSI code page only when it comes back unchanged: every character has a form of
// its own there, none is replaced or taken for a look-alike ("best fit").
bool WideToAnsiExact(const std::wstring& text, std::string* ansi);

}  // namespace common
