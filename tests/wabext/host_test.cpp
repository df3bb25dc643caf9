// WabHost.exe with Ferrule.DLL registered from a scratch folder whose Quillon.exe is the recording
// stand-in and listed among the address book's context-menu extensions: the whole road from
// address-book entries through the extension list, COM activation, the menu and the command to the
// converter's command line and selection file.
#include <gtest/gtest.h>

#include "common/comserver.h"
#include "common/text.h"
#include "support/storefile.h"

namespace {

using testsupport::Ansi;
using testsupport::CTempDir;

class FerruleHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::CopyFileTo(testsupport::BinDir() + "\\Ferrule.DLL", Dll()));
        ASSERT_TRUE(testsupport::CopyFileTo(testsupport::BinDir() + "\\converter_recorder.exe", m_dir.file("Quillon.exe")));
        m_ann = m_store.AddContact("", {Ansi(PR_DISPLAY_NAME_A, "Ann Archer")});
        m_ben = m_store.AddContact("", {Ansi(PR_DISPLAY_NAME_A, "Ben Baker")});
        m_cid = m_store.AddContact("", {Ansi(PR_DISPLAY_NAME_A, "Cid Cole")});
        m_store.AddGroup("", L"Club", {m_ann});
        ASSERT_TRUE(testsupport::Regsvr32("/s", Dll()));
        ASSERT_TRUE(m_listed.ok());
    }
    void TearDown() override { testsupport::CFerruleRegistered::Remove(Dll()); }

    std::string Dll() const { return m_dir.file("Ferrule.DLL"); }

    LONG RunHost(const std::string& arguments)
    {
        LONG code = -1;
        std::string line = "\"" + testsupport::BinDir() + "\\WabHost.exe\" -store \"" + m_store.path() + "\" " + arguments;
        EXPECT_TRUE(testsupport::RunProcess(line, &code, 60000)) << line;
        return code;
    }

    // Checks the recorded command line and gives the selection file's bytes (then deletes it).
    std::string CheckLaunch(const char* option)
    {
        std::vector<std::string> record = testsupport::TakeRecord(m_dir.path());
        std::string line = record.empty() ? std::string() : record[0];
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
    testsupport::CStoreFile m_store;
    std::string m_ann, m_ben, m_cid;
};

TEST_F(FerruleHost, ExportsTheChosenContactsAndSkipsTheGroup)
{
    EXPECT_EQ(0, RunHost("-command export -wait 30 \"Ann Archer\" Club \"Cid Cole\""));
    // -wait: the converter has ended, its record is complete, when the host returns.
    EXPECT_TRUE(testsupport::FileExists(m_dir.file("cmdline.txt")));
    EXPECT_EQ(m_ann + "\r\n" + m_cid + "\r\n", CheckLaunch("-export"));
}

TEST_F(FerruleHost, ImportsWithTheWholeFolderSelected)
{
    EXPECT_EQ(0, RunHost("-command import"));
    EXPECT_EQ(m_ann + "\r\n" + m_ben + "\r\n" + m_cid + "\r\n", CheckLaunch("-import"));
}

TEST_F(FerruleHost, ReportsWhatItCannotDo)
{
    EXPECT_EQ(5, RunHost("-command export Nobody"));
    EXPECT_EQ(1, RunHost("-command delete"));
    EXPECT_EQ(1, RunHost("-wait soon"));
    EXPECT_EQ(2, RunHost("-folder \"No such folder\""));
    EXPECT_EQ(0, RunHost("-command none"));
    EXPECT_FALSE(testsupport::FileExists(m_dir.file("cmdline.txt")));
    ASSERT_TRUE(testsupport::Regsvr32("/s /u", Dll()));
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
