// The records that cross from one binary to another keep the published layouts of 32-bit Windows:
// Quillon's block for the support library, its WAB_PARAM for the address book, and what the Address
// Book window hands Ferrule. Checked on the bytes, at the offsets the other side reads, so a header
// or packing change shows here on the architecture that ships, not in a user's crash.
#include <gtest/gtest.h>

#include <windows.h>
#include <wabdefs.h>
#include <wabapi.h>

#include <cstdint>
#include <cstring>

#include "base/LibBrisco.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;

template <class T>
uintptr_t WordAt(const T& record, size_t offset)
{
    uintptr_t value = 0;
    std::memcpy(&value, reinterpret_cast<const char*>(&record) + offset, sizeof(void*));
    return value;
}

}  // namespace

TEST(Layout, SupportLibraryBlockAsTheLibraryReadsIt)
{
    LIBBRISCO_INIT block;
    CLibBrisco::FillInitBlock(&block);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&block);
    DWORD size = 0;
    std::memcpy(&size, bytes, 4);
    EXPECT_EQ(sizeof block, size);
    const size_t callbackAt = k32 ? 24 : offsetof(LIBBRISCO_INIT, pfnLogPath);
    const size_t flagAt = k32 ? 28 : offsetof(LIBBRISCO_INIT, bHasLogPath);
    if (k32) {
        EXPECT_EQ(60u, size);
    }
    EXPECT_EQ(1, bytes[flagAt]);
    // The library calls whatever address it finds there: it must be the callback, and it must answer.
    auto callback = reinterpret_cast<LIBBRISCO_LOGPATH_CALLBACK>(WordAt(block, callbackAt));
    ASSERT_EQ(block.pfnLogPath, callback);
    char path[LIBBRISCO_LOG_PATH_SIZE];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(0, callback(path));
    EXPECT_NE(nullptr, std::memchr(path, '\0', sizeof path));
}

TEST(Layout, PublishedAddressBookRecords)
{
    struct Field {
        const char* name;
        size_t offset;
        size_t offset32;
    };
    const Field fields[] = {
        {"WAB_PARAM.hwnd", offsetof(WAB_PARAM, hwnd), 4},
        {"WAB_PARAM.szFileName", offsetof(WAB_PARAM, szFileName), 8},
        {"WAB_PARAM.ulFlags", offsetof(WAB_PARAM, ulFlags), 12},
        {"WAB_PARAM.guidPSExt", offsetof(WAB_PARAM, guidPSExt), 16},
        {"sizeof WAB_PARAM", sizeof(WAB_PARAM), 32},
        {"SPropValue.Value", offsetof(SPropValue, Value), 8},
        {"sizeof SPropValue", sizeof(SPropValue), 16},
        {"ADRENTRY.cValues", offsetof(ADRENTRY, cValues), 4},
        {"ADRENTRY.rgPropVals", offsetof(ADRENTRY, rgPropVals), 8},
        {"sizeof ADRENTRY", sizeof(ADRENTRY), 12},
        {"ADRLIST.aEntries", offsetof(ADRLIST, aEntries), 4},
        {"WABEXTDISPLAY.lpPropObj", offsetof(WABEXTDISPLAY, lpPropObj), 12},
        {"WABEXTDISPLAY.ulFlags", offsetof(WABEXTDISPLAY, ulFlags), 24},
        {"WABEXTDISPLAY.lpv", offsetof(WABEXTDISPLAY, lpv), 28},
        {"sizeof STARTUPINFOA", sizeof(STARTUPINFOA), 68},
    };
    if (!k32)
        GTEST_SKIP() << "the published layouts are those of 32-bit Windows; the i686 suite checks them";
    for (const Field& f : fields)
        EXPECT_EQ(f.offset32, f.offset) << f.name;

    // A file name handed over in WAB_PARAM is found where the address book looks for it.
    char file[] = "C:\\book.wab";
    WAB_PARAM param = {};
    param.cbSize = sizeof param;
    param.szFileName = file;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(file), WordAt(param, 8));
}
