// CWinReg against Wine's registry, COptions on the add-in's real key, the log folder taken from
// the user's shell folders, and the options form as the real dialog it is. Everything runs on
// scratch keys or restores what it changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "mailaddin/Debug.h"
#include "mailaddin/FrmOptions.h"
#include "mailaddin/Options.h"
#include "mailaddin/WinReg.h"
#include "mailaddin/resource.h"
#include "support/testsupport.h"

using namespace gimlet;
using namespace testsupport;

namespace {

const char kScratch[] = "Software\\Brisco\\GimletTest";
const char kAddinKey[] = "Software\\Brisco\\Quillon\\Addin";

bool ReadDword(const std::string& key, const std::string& name, DWORD* value, DWORD* type)
{
    DWORD size = sizeof *value;
    return ::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, type, value, &size) ==
           ERROR_SUCCESS;
}

class WinRegTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRegTree(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { DeleteRegTree(HKEY_CURRENT_USER, kScratch); }
};

TEST_F(WinRegTest, RootKeysAreTheRegistryNumbers)
{
    EXPECT_EQ(0x80000000UL, static_cast<unsigned long>(CWinReg::KeyClassesRoot()));
    EXPECT_EQ(0x80000001UL, static_cast<unsigned long>(CWinReg::KeyCurrentUser()));
    EXPECT_EQ(0x80000002UL, static_cast<unsigned long>(CWinReg::KeyLocalMachine()));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(HKEY_CLASSES_ROOT), static_cast<LONG_PTR>(CWinReg::KeyClassesRoot()));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(HKEY_CURRENT_USER), static_cast<LONG_PTR>(CWinReg::KeyCurrentUser()));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(HKEY_LOCAL_MACHINE), static_cast<LONG_PTR>(CWinReg::KeyLocalMachine()));
}

TEST_F(WinRegTest, OpensOnlyWhatExistsUnlessAskedToCreate)
{
    CWinReg reg;
    EXPECT_TRUE(reg.Close());  // nothing open
    EXPECT_FALSE(reg.InitForRead(CWinReg::KeyCurrentUser(), kScratch));
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_FALSE(reg.InitForWrite(CWinReg::KeyCurrentUser(), kScratch, false));
    EXPECT_TRUE(reg.InitForWrite(CWinReg::KeyCurrentUser(), kScratch, true));
    EXPECT_TRUE(reg.IsOpen());
    EXPECT_TRUE(reg.Close());
    EXPECT_TRUE(reg.InitForRead(CWinReg::KeyCurrentUser(), kScratch));
    // A read-only key takes no writes.
    EXPECT_FALSE(reg.SetLong("x", 1));
    EXPECT_TRUE(reg.InitForAllAccess(CWinReg::KeyCurrentUser(), kScratch, false));
    EXPECT_TRUE(reg.SetLong("x", 1));
}

TEST_F(WinRegTest, ValuesRoundTripAndMistypedValuesGiveDefaults)
{
    CWinReg reg;
    ASSERT_TRUE(reg.InitForWrite(CWinReg::KeyCurrentUser(), kScratch, true));
    EXPECT_TRUE(reg.SetString("Text", "hello world"));
    EXPECT_TRUE(reg.SetLong("Number", -5));
    EXPECT_TRUE(reg.SetBool("Flag", true));
    EXPECT_TRUE(reg.SetBool("Off", false));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kScratch, "Expand", "%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kScratch, "Yes", "YeS"));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kScratch, "Empty", ""));

    EXPECT_EQ("hello world", reg.GetString("Text"));
    EXPECT_EQ("%TEMP%\\x", reg.GetString("Expand"));  // not expanded
    EXPECT_EQ("", reg.GetString("Number"));           // a DWORD is no text
    EXPECT_EQ("", reg.GetString("Missing"));
    EXPECT_EQ("", reg.GetString("Empty"));
    EXPECT_EQ(-5, reg.GetLong("Number", 7));
    EXPECT_EQ(7, reg.GetLong("Text", 7));  // a text is no DWORD
    EXPECT_EQ(7, reg.GetLong("Missing", 7));
    EXPECT_TRUE(reg.GetBool("Flag"));
    EXPECT_TRUE(reg.GetBool("Yes"));
    EXPECT_FALSE(reg.GetBool("Off"));
    EXPECT_FALSE(reg.GetBool("Missing"));

    char raw[32] = {};
    DWORD size = sizeof raw;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_CURRENT_USER, kScratch, "Flag", RRF_RT_ANY, &type, raw, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, size);  // "yes" and its terminator
    EXPECT_STREQ("yes", raw);

    EXPECT_TRUE(reg.DeleteValue("Text"));
    EXPECT_FALSE(reg.DeleteValue("Text"));
    EXPECT_EQ("", reg.GetString("Text"));
    EXPECT_TRUE(reg.Flush());

    CWinReg closed;
    EXPECT_EQ(0, closed.GetLong("Number", 7));  // no key open
}

TEST_F(WinRegTest, GetStringReadsAtMost256Bytes)
{
    struct {
        size_t letters;
        bool read;
    } const cases[] = {{255, true}, {256, false}, {299, false}};
    for (const auto& c : cases) {
        std::string text(c.letters, 'a');  // stored with its terminator: letters + 1 bytes
        ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kScratch, "Long", text));
        CWinReg reg;
        ASSERT_TRUE(reg.InitForRead(CWinReg::KeyCurrentUser(), kScratch));
        EXPECT_EQ(c.read ? text : std::string(), reg.GetString("Long")) << c.letters + 1 << " bytes";
    }
}

TEST_F(WinRegTest, EnumeratesKeysAndValues)
{
    CWinReg reg;
    ASSERT_TRUE(reg.InitForAllAccess(CWinReg::KeyCurrentUser(), kScratch, true));
    CWinReg child;
    ASSERT_TRUE(child.InitForWrite(CWinReg::KeyCurrentUser(), std::string(kScratch) + "\\Alpha", true));
    ASSERT_TRUE(child.InitForWrite(CWinReg::KeyCurrentUser(), std::string(kScratch) + "\\Beta", true));
    child.Close();
    reg.SetLong("one", 1);
    reg.SetString("two", "2");
    std::vector<std::string> keys, values;
    for (DWORD i = 0; !reg.Keys(i).empty(); ++i)
        keys.push_back(reg.Keys(i));
    for (DWORD i = 0; !reg.Values(i).empty(); ++i)
        values.push_back(reg.Values(i));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta"}), keys);
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), values);
    EXPECT_FALSE(reg.DeleteKey("Missing"));
}

TEST_F(WinRegTest, DeleteKeyRecRemovesThreeLevels)
{
    const std::string base = std::string(kScratch) + "\\Top";
    for (const char* sub : {"\\A\\A1\\A11", "\\A\\A2", "\\B\\B1\\B11", "\\B\\B1\\B12", "\\C"}) {
        CWinReg make;
        ASSERT_TRUE(make.InitForWrite(CWinReg::KeyCurrentUser(), base + sub, true)) << sub;
        make.SetLong("v", 1);
    }
    CWinReg reg;
    ASSERT_TRUE(reg.InitForAllAccess(CWinReg::KeyCurrentUser(), kScratch, false));
    // A key with subkeys of its own cannot go in one step.
    EXPECT_FALSE(reg.DeleteKey("Top"));
    EXPECT_TRUE(reg.DeleteKeyRec("Top"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, base));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kScratch));
    EXPECT_FALSE(reg.DeleteKeyRec("Top"));  // nothing left to delete
}

TEST_F(WinRegTest, DeleteAllKeysKeepsTheKeyAndItsValues)
{
    for (const char* sub : {"\\X\\Y\\Z", "\\W"}) {
        CWinReg make;
        ASSERT_TRUE(make.InitForWrite(CWinReg::KeyCurrentUser(), std::string(kScratch) + sub, true));
    }
    CWinReg reg;
    ASSERT_TRUE(reg.InitForAllAccess(CWinReg::KeyCurrentUser(), kScratch, false));
    reg.SetLong("kept", 3);
    reg.DeleteAllKeys();
    EXPECT_EQ("", reg.Keys(0));
    EXPECT_EQ(3, reg.GetLong("kept", 0));
}

// ---- COptions on the add-in's key ----------------------------------------------------------

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegTree(HKEY_CURRENT_USER, kAddinKey);
        COptions::ReleaseInstance();
    }
    void TearDown() override
    {
        DeleteRegTree(HKEY_CURRENT_USER, kAddinKey);
        COptions::ReleaseInstance();
    }
};

TEST_F(OptionsTest, DefaultsWithoutKey)
{
    COptions& options = COptions::Instance();
    EXPECT_TRUE(options.SeparateToolbar());
    EXPECT_TRUE(options.SmallButtons());
    EXPECT_TRUE(options.EditMenu());
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kAddinKey));  // reading creates nothing
}

TEST_F(OptionsTest, StoredValuesAreReadAndWrittenAsDwords)
{
    struct {
        const char* name;
        DWORD stored;
        DWORD type;
        bool read;
    } const cases[] = {
        {"SmallButtons", 0, REG_DWORD, false},
        {"SmallButtons", 1, REG_DWORD, true},
        {"SmallButtons", 5, REG_DWORD, true},
        {"SmallButtons", 0, REG_SZ, true},  // mistyped: the default
        {"EditMenu", 0, REG_DWORD, false},
        {"EditMenu", 5, REG_DWORD, true},
    };
    for (const auto& c : cases) {
        DeleteRegTree(HKEY_CURRENT_USER, kAddinKey);
        if (c.type == REG_DWORD)
            ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kAddinKey, c.name, c.stored));
        else
            ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kAddinKey, c.name, "0"));
        COptions& options = COptions::Instance();
        bool read = std::string(c.name) == "SmallButtons" ? options.SmallButtons() : options.EditMenu();
        EXPECT_EQ(c.read, read) << c.name << " = " << c.stored;
    }

    COptions& options = COptions::Instance();
    options.SetSmallButtons(false);
    options.SetEditMenu(true);
    DWORD value = 9, type = 0;
    ASSERT_TRUE(ReadDword(kAddinKey, "SmallButtons", &value, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(0u, value);
    ASSERT_TRUE(ReadDword(kAddinKey, "EditMenu", &value, &type));
    EXPECT_EQ(1u, value);
    EXPECT_FALSE(options.SmallButtons());
}

// ---- the log folder ------------------------------------------------------------------------

TEST(LogFolder, ComesFromTheShellFoldersAppData)
{
    CScratchAppData dir;
    std::string folder = CDebug::FindLogFolder();
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kShellFoldersKey, "AppData", ""));
    std::string fallback = CDebug::FindLogFolder();

    EXPECT_EQ(dir.AppData() + "\\Brisco\\Quillon", folder);
    DWORD attributes = ::GetFileAttributesA(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(BinDir(), fallback);  // the add-in's own folder: here, the test program's
}

// ---- the options form ----------------------------------------------------------------------

// Runs the form modally; check() gets the dialog once it is up and must end it.
void RunForm(CFrmOptions& form, const std::function<void(HWND)>& check)
{
    static std::function<void(HWND)> s_check;
    s_check = check;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        HWND dialog = ::FindWindowA("#32770", "Quillon - Options");
        if (!dialog)
            return;
        ::KillTimer(nullptr, id);
        auto run = std::move(s_check);
        s_check = nullptr;
        if (run)
            run(dialog);
    });
    // Should the check never find the form, a second timer closes whatever dialog is up.
    UINT_PTR guard = ::SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        ::KillTimer(nullptr, id);
        ADD_FAILURE() << "the options form never showed";
        HWND dialog = FindTopWindow(::GetCurrentProcessId(), "#32770", "");
        if (dialog)
            ::EndDialog(dialog, IDCANCEL);
    });
    INT_PTR result = form.Show(nullptr);
    ::KillTimer(nullptr, timer);
    ::KillTimer(nullptr, guard);
    EXPECT_NE(-1, result);
}

bool Checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

TEST_F(OptionsTest, FormShowsItsCaptionsAndTheStoredOptions)
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kAddinKey, "SmallButtons", 0));
    CFrmOptions form;
    RunForm(form, [&](HWND dialog) {
        EXPECT_EQ("Quillon - Options", WindowText(dialog));
        const struct {
            int id;
            const char* text;
        } captions[] = {{IDC_FRAME_MENU, "Menu"},
                        {IDC_FRAME_TOOLBAR, "Toolbar (need restart)"},
                        {IDC_CHK_SMALLBUTTONS, "Small buttons"},
                        {IDC_CHK_SEPARATETOOLBAR, "Use separate toolbar"},
                        {IDOK, "OK"},
                        {IDCANCEL, "Cancel"}};
        for (const auto& c : captions)
            EXPECT_EQ(c.text, WindowText(::GetDlgItem(dialog, c.id)));
        EXPECT_NE(std::string::npos, WindowText(::GetDlgItem(dialog, IDC_CHK_EDITMENU)).find("'Edit'"));
        EXPECT_TRUE(Checked(dialog, IDC_CHK_EDITMENU));
        EXPECT_FALSE(Checked(dialog, IDC_CHK_SMALLBUTTONS));
        EXPECT_TRUE(Checked(dialog, IDC_CHK_SEPARATETOOLBAR));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_CHK_SMALLBUTTONS)));
        EXPECT_FALSE(form.m_bChanged);
        Click(dialog, IDCANCEL);
    });
}

TEST_F(OptionsTest, SeparateToolbarOnlyEnablesSmallButtonsAndIsNotStored)
{
    CFrmOptions form;
    RunForm(form, [&](HWND dialog) {
        Click(dialog, IDC_CHK_SEPARATETOOLBAR);
        EXPECT_FALSE(Checked(dialog, IDC_CHK_SEPARATETOOLBAR));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_CHK_SMALLBUTTONS)));
        EXPECT_TRUE(form.m_bChanged);
        Click(dialog, IDC_CHK_SEPARATETOOLBAR);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_CHK_SMALLBUTTONS)));
        Click(dialog, IDC_CHK_SEPARATETOOLBAR);
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(form.m_bChanged);
    CFrmOptions next;
    RunForm(next, [&](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_CHK_SEPARATETOOLBAR));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_CHK_SMALLBUTTONS)));
        Click(dialog, IDCANCEL);
    });
}

TEST_F(OptionsTest, OkStoresBothBoxesAndCancelStoresNothing)
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kAddinKey, "SmallButtons", 5));
    CFrmOptions cancelled;
    RunForm(cancelled, [&](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_CHK_SMALLBUTTONS));  // 5 reads as true
        Click(dialog, IDC_CHK_EDITMENU);
        EXPECT_TRUE(cancelled.m_bChanged);
        Click(dialog, IDCANCEL);
    });
    EXPECT_FALSE(cancelled.m_bChanged);
    DWORD value = 0, type = 0;
    ASSERT_TRUE(ReadDword(kAddinKey, "SmallButtons", &value, &type));
    EXPECT_EQ(5u, value);
    EXPECT_FALSE(ReadDword(kAddinKey, "EditMenu", &value, &type));

    CFrmOptions unchanged;
    RunForm(unchanged, [&](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_FALSE(unchanged.m_bChanged);
    ASSERT_TRUE(ReadDword(kAddinKey, "SmallButtons", &value, &type));
    EXPECT_EQ(1u, value);  // 5 written back as 1
    ASSERT_TRUE(ReadDword(kAddinKey, "EditMenu", &value, &type));
    EXPECT_EQ(1u, value);

    CFrmOptions changed;
    RunForm(changed, [&](HWND dialog) {
        Click(dialog, IDC_CHK_SMALLBUTTONS);
        Click(dialog, IDC_CHK_EDITMENU);
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(changed.m_bChanged);
    ASSERT_TRUE(ReadDword(kAddinKey, "SmallButtons", &value, &type));
    EXPECT_EQ(0u, value);
    ASSERT_TRUE(ReadDword(kAddinKey, "EditMenu", &value, &type));
    EXPECT_EQ(0u, value);
    EXPECT_FALSE(COptions::Instance().SmallButtons());
}

}  // namespace
