// WabHost.exe with Ferrule.DLL registered from a scratch folder whose Quillon.exe is the recording
// stand-in and listed among the address book's context-menu extensions: the whole road from
// address-book entries through the extension list, COM activation, the menu and the command to the
// converter's command line and selection file.
#include <gtest/gtest.h>

#include "common/comserver.h"
#include "common/text.h"
#include "standins/wab32/wabstandin.h"
#include "support/testsupport.h"

namespace {

using testsupport::CTempDir;

const char kClassKey[] = "CLSID\\{C0CEE871-6EDE-4B3F-9D49-487132A1193C}";

class FerruleHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::CopyFileTo(testsupport::BinDir() + "\\Ferrule.DLL", m_dir.file("Ferrule.DLL")));
        ASSERT_TRUE(testsupport::CopyFileTo(testsupport::BinDir() + "\\ferrule_recorder.exe", m_dir.file("Quillon.exe")));
        m_store = m_dir.file("book.wab");
        ASSERT_EQ(S_OK, WabStandinCreateStore(m_store.c_str(), L"Contacts"));
        ASSERT_EQ(S_OK, _AddContact("Ann Archer", m_ann));
        ASSERT_EQ(S_OK, _AddContact("Ben Baker", m_ben));
        ASSERT_EQ(S_OK, _AddContact("Cid Cole", m_cid));
        LPCSTR members[] = {m_ann};
        ASSERT_EQ(S_OK, WabStandinAddGroup(m_store.c_str(), nullptr, L"Club", 1, members, 0, nullptr, m_club,
                                           sizeof(m_club)));
        ASSERT_TRUE(_Regsvr32("/s"));
        ASSERT_TRUE(m_listed.ok());
    }
    void TearDown() override
    {
        _Regsvr32("/s /u");
        for (const char* key : {kClassKey, "Ferrule.Connect", "Ferrule.Connect.1",
                                "TypeLib\\{07DC723E-F819-4C2D-AD32-B0F5AB384E80}"})
            testsupport::DeleteRegTree(HKEY_CLASSES_ROOT, key);
    }

    HRESULT _AddContact(const char* name, char* id)
    {
        SPropValue value = {};
        value.ulPropTag = PR_DISPLAY_NAME_A;
        value.Value.lpszA = const_cast<char*>(name);
        return WabStandinAddContact(m_store.c_str(), nullptr, 1, &value, id, WABSTANDIN_ID_TEXT_SIZE);
    }

    bool _Regsvr32(const std::string& options)
    {
        LONG code = -1;
        return testsupport::RunProcess("regsvr32.exe " + options + " \"" + m_dir.file("Ferrule.DLL") + "\"", &code) &&
               code == 0;
    }

    LONG RunHost(const std::string& arguments)
    {
        LONG code = -1;
        std::string line = "\"" + testsupport::BinDir() + "\\WabHost.exe\" -store \"" + m_store + "\" " + arguments;
        EXPECT_TRUE(testsupport::RunProcess(line, &code, 60000)) << line;
        return code;
    }

    std::string RecordedLine()
    {
        const std::string file = m_dir.file("cmdline.txt");
        // The file appears by a rename; the renaming handle may still be open for a moment.
        std::string line;
        if (!testsupport::WaitUntil([&] { return !(line = testsupport::ReadFileBytes(file)).empty(); }, 15000))
            return std::string();
        // Gone before the next command records, or that one could be read as this one.
        testsupport::WaitUntil([&] { return DeleteFileA(file.c_str()) || !testsupport::FileExists(file); }, 5000);
        return line;
    }

    // Checks the recorded command line and gives the selection file's bytes (then deletes it).
    std::string CheckLaunch(const char* option)
    {
        std::string line = RecordedLine();
        const std::string marker = " -selection tmp \"";
        size_t at = line.find(marker);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no selection option in: " << line;
            return std::string();
        }
        size_t start = at + marker.size();
        std::string tmp = line.substr(start, line.find('"', start) - start);
        EXPECT_EQ("\"" + m_dir.path() + "\\Quillon.exe\" " + option + " -selection tmp \"" + tmp + "\" -foreground",
                  line);
        std::string bytes = testsupport::ReadFileBytes(tmp);
        DeleteFileA(tmp.c_str());
        return bytes;
    }

    CTempDir m_dir;
    testsupport::CFerruleListed m_listed;
    std::string m_store;
    char m_ann[WABSTANDIN_ID_TEXT_SIZE] = {};
    char m_ben[WABSTANDIN_ID_TEXT_SIZE] = {};
    char m_cid[WABSTANDIN_ID_TEXT_SIZE] = {};
    char m_club[WABSTANDIN_ID_TEXT_SIZE] = {};
};

TEST_F(FerruleHost, ExportsTheChosenContactsAndSkipsTheGroup)
{
    EXPECT_EQ(0, RunHost("-command export -wait 30 \"Ann Archer\" Club \"Cid Cole\""));
    // -wait: the converter has ended, its record is complete, when the host returns.
    EXPECT_TRUE(testsupport::FileExists(m_dir.file("cmdline.txt")));
    EXPECT_EQ(std::string(m_ann) + "\r\n" + m_cid + "\r\n", CheckLaunch("-export"));
}

TEST_F(FerruleHost, ImportsWithTheWholeFolderSelected)
{
    EXPECT_EQ(0, RunHost("-command import"));
    EXPECT_EQ(std::string(m_ann) + "\r\n" + m_ben + "\r\n" + m_cid + "\r\n", CheckLaunch("-import"));
}

TEST_F(FerruleHost, ReportsWhatItCannotDo)
{
    EXPECT_EQ(5, RunHost("-command export Nobody"));
    EXPECT_EQ(1, RunHost("-command delete"));
    EXPECT_EQ(1, RunHost("-wait soon"));
    EXPECT_EQ(2, RunHost("-folder \"No such folder\""));
    EXPECT_EQ(0, RunHost("-command none"));
    EXPECT_FALSE(testsupport::FileExists(m_dir.file("cmdline.txt")));
    ASSERT_TRUE(_Regsvr32("/s /u"));
    EXPECT_EQ(3, RunHost("-command export"));
}

// Registered but not listed, or listed under a name that is no class: the host creates no
// extension, so there is no Quillon menu and nothing starts.
TEST_F(FerruleHost, ShowsNoQuillonMenuUnlessListed)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, testsupport::kWabExtContextKey,
                                                testsupport::kFerruleClsid));
    EXPECT_EQ(3, RunHost("-command none"));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_LOCAL_MACHINE, testsupport::kWabExtContextKey, "Ferrule", ""));
    EXPECT_EQ(3, RunHost("-command export"));
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, testsupport::kWabExtContextKey, "Ferrule");
    EXPECT_FALSE(testsupport::FileExists(m_dir.file("cmdline.txt")));
}

}  // namespace
