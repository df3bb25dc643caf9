// The contacts Quillon was started with: the ordered entry-identifier texts of the selection file
// that the Address Book extension hands over.
#pragma once

#include <string>
#include <vector>

using CSelectionList = std::vector<std::string>;
