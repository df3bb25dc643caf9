#include "support/storefile.h"

namespace testsupport {

namespace {

SPropValue Tagged(ULONG tag)
{
    SPropValue v = {};
    v.ulPropTag = tag;
    return v;
}

}  // namespace

SPropValue Text(ULONG tag, const wchar_t* text)
{
    SPropValue v = Tagged(tag);
    v.Value.lpszW = const_cast<LPWSTR>(text);
    return v;
}

SPropValue Ansi(ULONG tag, const char* text)
{
    SPropValue v = Tagged(tag);
    v.Value.lpszA = const_cast<LPSTR>(text);
    return v;
}

SPropValue Long(ULONG tag, LONG value)
{
    SPropValue v = Tagged(tag);
    v.Value.l = value;
    return v;
}

SPropValue Short(ULONG tag, short value)
{
    SPropValue v = Tagged(tag);
    v.Value.i = value;
    return v;
}

SPropValue Time(ULONG tag, WORD year, WORD month, WORD day)
{
    SPropValue v = Tagged(tag);
    v.Value.ft = Date(year, month, day);
    return v;
}

SPropValue Binary(ULONG tag, const std::string& bytes)
{
    SPropValue v = Tagged(tag);
    v.Value.bin.cb = static_cast<ULONG>(bytes.size());
    v.Value.bin.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()));
    return v;
}

SPropValue TextList(ULONG tag, std::vector<LPWSTR>& items)
{
    SPropValue v = Tagged(tag);
    v.Value.MVszW.cValues = static_cast<ULONG>(items.size());
    v.Value.MVszW.lppszW = items.data();
    return v;
}

CStoreFile::CStoreFile(const wchar_t* pabName) : m_pabName(pabName), m_path(dir.file("book.wab"))
{
    Recreate();
}

bool CStoreFile::Recreate()
{
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    HRESULT made = WabStandinCreateStore(m_path.c_str(), m_pabName.c_str());
    EXPECT_EQ(S_OK, made) << m_path;
    HRESULT found = WabStandinGetPab(m_path.c_str(), id, sizeof id);
    EXPECT_EQ(S_OK, found) << m_path;
    m_pab = id;
    return made == S_OK && found == S_OK;
}

std::string CStoreFile::AddFolder(const std::wstring& name)
{
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    EXPECT_EQ(S_OK, WabStandinAddFolder(m_path.c_str(), name.c_str(), id, sizeof id));
    return id;
}

std::string CStoreFile::AddContact(const std::string& folder, std::vector<SPropValue> props)
{
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    EXPECT_EQ(S_OK, WabStandinAddContact(m_path.c_str(), folder.c_str(), static_cast<ULONG>(props.size()),
                                         props.data(), id, sizeof id));
    return id;
}

std::string CStoreFile::AddNamed(const std::string& folder, const wchar_t* name)
{
    return AddContact(folder, {Text(PR_DISPLAY_NAME_W, name)});
}

std::string CStoreFile::AddGroup(const std::string& folder, const wchar_t* name,
                                 const std::vector<std::string>& members)
{
    std::vector<LPCSTR> ids;
    for (const std::string& member : members)
        ids.push_back(member.c_str());
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    EXPECT_EQ(S_OK, WabStandinAddGroup(m_path.c_str(), folder.c_str(), name, static_cast<ULONG>(ids.size()),
                                       ids.data(), 0, nullptr, id, sizeof id));
    return id;
}

bool CStoreFile::Load(const std::string& description)
{
    const std::string file = dir.file("description.txt");
    char error[256] = "";
    bool ok = WriteFileBytes(file, description) &&
              WabStandinLoadDescription(m_path.c_str(), file.c_str(), error, sizeof error) == S_OK;
    EXPECT_TRUE(ok) << error;
    return ok;
}

LONG WabStore(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& env)
{
    std::string line = Quote(BinDir() + "\\wabstore.exe");
    for (const std::string& argument : arguments)
        line += " " + Quote(argument);
    LONG code = -1;
    EXPECT_TRUE(RunProcess(line, &code, kWait, std::string(), env)) << line;
    return code;
}

CQuillonWorld::CQuillonWorld(std::vector<std::string> clearedSettings)
    : m_wabFile(kWabFileNameKey, "", store.path()), m_settings(kQuillonKey, std::move(clearedSettings))
{
}

}  // namespace testsupport
