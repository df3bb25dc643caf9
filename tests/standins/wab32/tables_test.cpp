// Folders, contents tables, columns and restrictions of the stand-in address book: the semantics
// Quillon's folder picker, export listing and duplicate search rely on.
#include <deque>

#include "wabtest.h"

using namespace wabtest;

namespace {

// Owns the nodes of restrictions built in a test.
class CRes {
public:
    SRestriction* Prop(ULONG relop, SPropValue v)
    {
        values.push_back(v);
        SRestriction r = {};
        r.rt = RES_PROPERTY;
        r.res.resProperty.relop = relop;
        r.res.resProperty.ulPropTag = v.ulPropTag;
        r.res.resProperty.lpProp = &values.back();
        return Keep(r);
    }
    SRestriction* Exist(ULONG tag)
    {
        SRestriction r = {};
        r.rt = RES_EXIST;
        r.res.resExist.ulPropTag = tag;
        return Keep(r);
    }
    SRestriction* Not(SRestriction* inner)
    {
        SRestriction r = {};
        r.rt = RES_NOT;
        r.res.resNot.lpRes = inner;
        return Keep(r);
    }
    SRestriction* List(ULONG kind, std::vector<SRestriction*> items)
    {
        lists.emplace_back();
        for (auto* i : items)
            lists.back().push_back(*i);
        SRestriction r = {};
        r.rt = kind;
        r.res.resAnd.cRes = static_cast<ULONG>(items.size());
        r.res.resAnd.lpRes = lists.back().data();
        return Keep(r);
    }
    SRestriction* Content(ULONG fuzzy, SPropValue v)
    {
        values.push_back(v);
        SRestriction r = {};
        r.rt = RES_CONTENT;
        r.res.resContent.ulFuzzyLevel = fuzzy;
        r.res.resContent.ulPropTag = v.ulPropTag;
        r.res.resContent.lpProp = &values.back();
        return Keep(r);
    }
    // The duplicate search's term for a name field: equal to text, or absent/empty when text is.
    SRestriction* NameTerm(ULONG tag, const wchar_t* text)
    {
        if (*text)
            return Prop(RELOP_EQ, Text(tag, text));
        return List(RES_OR, {Not(Exist(tag)), Prop(RELOP_EQ, Text(tag, L""))});
    }

private:
    SRestriction* Keep(const SRestriction& r)
    {
        nodes.push_back(r);
        return &nodes.back();
    }
    std::deque<SRestriction> nodes;
    std::deque<SPropValue> values;
    std::deque<std::vector<SRestriction>> lists;
};

class Tables : public ::testing::Test {
protected:
    void SetUp() override
    {
        people = store.AddFolder(L"People");
        alice = store.AddContact(people, {Text(PR_DISPLAY_NAME_W, L"Alice Johnson"), Text(PR_GIVEN_NAME_W, L"Alice"),
                                          Text(PR_SURNAME_W, L"Johnson"), Text(PR_COMPANY_NAME_W, L"Acme"),
                                          Short(PR_GENDER, 1), Time(PR_BIRTHDAY, 1985, 3, 14)});
        bob = store.AddContact(people, {Text(PR_DISPLAY_NAME_W, L"Bob Smith"), Text(PR_GIVEN_NAME_W, L"Bob"),
                                        Text(PR_SURNAME_W, L"Smith"), Text(PR_COMPANY_NAME_W, L""),
                                        Short(PR_GENDER, 2), Time(PR_BIRTHDAY, 1970, 11, 2)});
        juergen = store.AddContact(people, {Text(PR_DISPLAY_NAME_W, L"J\u00FCrgen M\u00FCller"),
                                            Text(PR_GIVEN_NAME_W, L"J\u00FCrgen"), Text(PR_SURNAME_W, L"M\u00FCller")});
        ivan = store.AddContact(people, {Text(PR_DISPLAY_NAME_W, L"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432"),
                                         Text(PR_SURNAME_W, L"\u041F\u0435\u0442\u0440\u043E\u0432")});
        char id[WABSTANDIN_ID_TEXT_SIZE];
        LPCSTR members[] = {alice.c_str(), bob.c_str()};
        ASSERT_EQ(S_OK, WabStandinAddGroup(store.path().c_str(), people.c_str(), L"Team", 2, members, 0, nullptr, id,
                                           sizeof id));
        team = id;
        ASSERT_EQ(S_OK, session.Open(store.path()));
    }

    CStoreFile store;
    CSession session;
    std::string people, alice, bob, juergen, ivan, team;
};

TEST_F(Tables, RootListsFoldersInOrderWithTheirFlags)
{
    store.AddFolder(L"Empty");
    ASSERT_EQ(S_OK, session.Open(store.path()));
    ComPtr<IMAPITable> root = session.Table("", WAB_LOCAL_CONTAINERS);
    ASSERT_TRUE(root);
    std::vector<std::string> rows = session.Rows(root.Get());
    // Default columns: instance key, entry id, object type, 8-bit name, container flags.
    ASSERT_EQ(3u, rows.size());
    EXPECT_NE(std::string::npos, rows[0].find("0FFF0102=" + store.pab() + " | 0FFE0003=4 | 3001001E=Contacts | 36000003=5"));
    EXPECT_NE(std::string::npos, rows[1].find("0FFF0102=" + people + " | 0FFE0003=4 | 3001001E=People | 36000003=5"));
    EXPECT_NE(std::string::npos, rows[2].find("3001001E=Empty"));

    ULONG cb = 0;
    LPENTRYID pab = nullptr;
    ASSERT_EQ(S_OK, session.book->GetPAB(&cb, &pab));
    EXPECT_EQ(store.pab(), Hex(pab, cb));
    session.wab->FreeBuffer(pab);
}

TEST_F(Tables, FolderContentsTypesAndEmptyFolder)
{
    std::string empty = store.AddFolder(L"Empty");
    ASSERT_EQ(S_OK, session.Open(store.path()));
    HRESULT hr = S_OK;
    EXPECT_FALSE(session.Table(empty, 0, &hr));
    EXPECT_EQ(MAPI_E_NOT_FOUND, hr);
    ComPtr<IMAPITable> t = session.Table(people, 0);
    EXPECT_EQ((std::vector<std::string>{"6", "6", "6", "6", "8"}), session.Column(t.Get(), PR_OBJECT_TYPE));
    EXPECT_EQ((std::vector<std::string>{alice, bob, juergen, ivan, team}), session.Column(t.Get(), PR_ENTRYID));
}

TEST_F(Tables, ProfileContentsOfThePersonalBookListEveryFolder)
{
    std::string mine = store.AddNamed(store.pab(), L"In the PAB");
    ASSERT_EQ(S_OK, session.Open(store.path()));
    ComPtr<IMAPITable> own = session.Table(store.pab(), 0);
    EXPECT_EQ((std::vector<std::string>{"In the PAB"}), session.Column(own.Get(), PR_DISPLAY_NAME_W));
    ComPtr<IMAPITable> all = session.Table(store.pab(), WAB_LOCAL_CONTAINERS | WAB_PROFILE_CONTENTS);
    EXPECT_EQ(6u, session.Column(all.Get(), PR_ENTRYID).size());
    // The flag widens only the personal address book.
    ComPtr<IMAPITable> other = session.Table(people, WAB_PROFILE_CONTENTS);
    EXPECT_EQ(5u, session.Column(other.Get(), PR_ENTRYID).size());
}

TEST_F(Tables, RestrictionsOfEachKind)
{
    CRes r;
    std::string ivanId = Bytes(ivan);
    const std::string kAlice = "Alice Johnson", kBob = "Bob Smith", kJuergen = u8"J\u00FCrgen M\u00FCller",
                      kIvan = u8"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432", kTeam = "Team";
    struct {
        const char* what;
        SRestriction* restriction;
        std::vector<std::string> names;
    } cases[] = {
        {"EQ Unicode", r.Prop(RELOP_EQ, Text(PR_DISPLAY_NAME_W, L"Alice Johnson")), {kAlice}},
        {"EQ is case-sensitive", r.Prop(RELOP_EQ, Text(PR_DISPLAY_NAME_W, L"alice johnson")), {}},
        {"EQ 8-bit", r.Prop(RELOP_EQ, Ansi(PR_DISPLAY_NAME_A, "J\xFCrgen M\xFCller")), {kJuergen}},
        {"EQ non-Latin", r.Prop(RELOP_EQ, Text(PR_SURNAME_W, L"\u041F\u0435\u0442\u0440\u043E\u0432")), {kIvan}},
        {"NE skips rows without the property", r.Prop(RELOP_NE, Text(PR_SURNAME_W, L"Smith")), {kAlice, kJuergen, kIvan}},
        {"EXIST", r.Exist(PR_COMPANY_NAME_W), {kAlice, kBob}},
        {"NOT EXIST", r.Not(r.Exist(PR_COMPANY_NAME_W)), {kJuergen, kIvan, kTeam}},
        {"absent or empty", r.NameTerm(PR_COMPANY_NAME_W, L""), {kBob, kJuergen, kIvan, kTeam}},
        {"EQ long", r.Prop(RELOP_EQ, Long(PR_OBJECT_TYPE, MAPI_DISTLIST)), {kTeam}},
        {"EQ short", r.Prop(RELOP_EQ, Short(PR_GENDER, 2)), {kBob}},
        {"LT time", r.Prop(RELOP_LT, Time(PR_BIRTHDAY, 1980, 1, 1)), {kBob}},
        {"EQ time", r.Prop(RELOP_EQ, Time(PR_BIRTHDAY, 1985, 3, 14)), {kAlice}},
        {"EQ binary", r.Prop(RELOP_EQ, Binary(PR_ENTRYID, ivanId)), {kIvan}},
        {"OR", r.List(RES_OR, {r.Prop(RELOP_EQ, Short(PR_GENDER, 1)), r.Prop(RELOP_EQ, Long(PR_OBJECT_TYPE, 8))}),
         {kAlice, kTeam}},
        {"AND of seven terms",
         r.List(RES_AND, {r.Prop(RELOP_EQ, Long(PR_OBJECT_TYPE, MAPI_MAILUSER)), r.NameTerm(PR_DISPLAY_NAME_W, L"Bob Smith"),
                          r.NameTerm(PR_GIVEN_NAME_W, L"Bob"), r.NameTerm(PR_MIDDLE_NAME_W, L""),
                          r.NameTerm(PR_SURNAME_W, L"Smith"), r.NameTerm(PR_DISPLAY_NAME_PREFIX_W, L""),
                          r.NameTerm(PR_COMPANY_NAME_W, L"")}),
         {kBob}},
        {"substring ignoring case", r.Content(FL_SUBSTRING | FL_IGNORECASE, Text(PR_DISPLAY_NAME_W, L"SMI")), {kBob}},
    };
    ComPtr<IMAPITable> t = session.Table(people, MAPI_UNICODE);
    for (const auto& c : cases)
        EXPECT_EQ(c.names, session.Column(t.Get(), PR_DISPLAY_NAME_W, c.restriction)) << c.what;

    SRestriction regex = {};
    regex.rt = RES_PROPERTY;
    SPropValue v = Text(PR_DISPLAY_NAME_W, L"A.*");
    regex.res.resProperty = {RELOP_RE, PR_DISPLAY_NAME_W, &v};
    EXPECT_EQ(MAPI_E_TOO_COMPLEX, t->Restrict(&regex, 0));
}

TEST_F(Tables, UnicodeAndAnsiColumnsAndMissingValues)
{
    ComPtr<IMAPITable> t = session.Table(people, 0);
    // Names converted to the ANSI code page as WideCharToMultiByte does it.
    std::string ivanAnsi;
    {
        const wchar_t* w = L"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432";
        char buf[64] = {};
        WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
        ivanAnsi = buf;
    }
    EXPECT_EQ((std::vector<std::string>{"Alice Johnson", "Bob Smith", "J\xFCrgen M\xFCller", ivanAnsi, "Team"}),
              session.Column(t.Get(), PR_DISPLAY_NAME_A));
    EXPECT_EQ((std::vector<std::string>{"1985-03-14", "1970-11-02", "ERROR:8004010F", "ERROR:8004010F", "ERROR:8004010F"}),
              session.Column(t.Get(), PR_BIRTHDAY));
    std::vector<std::string> rows;
    SPropTagArray two = {1, {PR_GIVEN_NAME_A}};
    ASSERT_EQ(S_OK, t->SetColumns(&two, 0));
    rows = session.Rows(t.Get());
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("3A06001E=Alice", rows[0]);
    EXPECT_EQ("3A06000A=ERROR:8004010F", rows[3]);

    // Default columns follow MAPI_UNICODE.
    ComPtr<IMAPITable> wide = session.Table(people, MAPI_UNICODE);
    EXPECT_NE(std::string::npos, session.Rows(wide.Get())[0].find("3001001F=Alice Johnson"));
    ComPtr<IMAPITable> narrow = session.Table(people, 0);
    EXPECT_NE(std::string::npos, session.Rows(narrow.Get())[0].find("3001001E=Alice Johnson"));
}

TEST_F(Tables, SortCountAndCursor)
{
    ComPtr<IMAPITable> t = session.Table(people, MAPI_UNICODE);
    SPropTagArray cols = {1, {PR_GIVEN_NAME_W}};
    ASSERT_EQ(S_OK, t->SetColumns(&cols, 0));
    struct {
        ULONG cSorts, cCategories, cExpanded;
        SSortOrder aSort[1];
    } order = {1, 0, 0, {{PR_GIVEN_NAME_W, TABLE_SORT_DESCEND}}};
    ASSERT_EQ(S_OK, t->SortTable(reinterpret_cast<LPSSortOrderSet>(&order), 0));
    ULONG count = 0;
    ASSERT_EQ(S_OK, t->GetRowCount(0, &count));
    EXPECT_EQ(5u, count);
    LPSRowSet first = nullptr, second = nullptr;
    ASSERT_EQ(S_OK, t->QueryRows(2, 0, &first));
    ASSERT_EQ(S_OK, t->QueryRows(10, 0, &second));
    ASSERT_EQ(2u, first->cRows);
    ASSERT_EQ(3u, second->cRows);
    EXPECT_EQ(u8"3A06001F=J\u00FCrgen", ShowValue(first->aRow[0].lpProps[0]));
    EXPECT_EQ("3A06001F=Bob", ShowValue(first->aRow[1].lpProps[0]));
    EXPECT_EQ("3A06001F=Alice", ShowValue(second->aRow[0].lpProps[0]));
    // Rows without the sort property come last.
    EXPECT_EQ("3A06000A=ERROR:8004010F", ShowValue(second->aRow[2].lpProps[0]));
    for (LPSRowSet s : {first, second}) {
        for (ULONG i = 0; i < s->cRows; ++i)
            session.wab->FreeBuffer(s->aRow[i].lpProps);
        session.wab->FreeBuffer(s);
    }
}

}  // namespace
