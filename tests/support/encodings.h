// The encodings file the build puts beside the tests, loaded into the program's converter
// (g_charConverter, of quillon_core) once per process.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "contact/CharConverter.h"
#include "support/testsupport.h"

namespace testsupport {

inline void LoadEncodings()
{
    static bool loaded = false;
    if (loaded)
        return;
    std::string path = BinDir() + "\\supportedEncodings.txt";
    ASSERT_GT(g_charConverter.LoadFrom(path.c_str(), nullptr), 10u) << path;
    loaded = true;
}

}  // namespace testsupport
