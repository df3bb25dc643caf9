#include "importsupport.h"

#include <gtest/gtest.h>

namespace importtest {

CReadResult ReadAll(const std::string& text)
{
    LoadEncodings();
    CReadResult r;
    CvCardImport reader;
    reader.LoadText(text.data(), text.size());
    r.result = reader.ReadCards([&] {
        r.cards.push_back(reader.Reader().Card());
        r.formats.push_back(reader.Reader().FormatCode());
        return 0;
    });
    return r;
}

CContactRecord ReadOne(const std::string& text)
{
    return testsupport::OnlyCard(ReadAll(text), text);
}

}  // namespace importtest
