#include "codec/ldif/LdifReader.h"

#include <algorithm>
#include <cstring>

#include "codec/vcard/vCardText.h"

namespace ldif {

namespace {

std::string Lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return s;
}

// Where each attribute of a person goes. Names are Thunderbird's and Netscape's, and the
// standard's where they differ.
enum class Slot { kText, kStreet2, kEmail, kBirthYear, kBirthMonth, kBirthDay, kIgnored };

struct CAttributeField {
    const char* name;
    Slot slot;
    std::wstring CContactRecord::*text;
    int part;  // for addresses: the part; -1 otherwise
    std::wstring (CContactRecord::*address)[CContactRecord::kAddressParts];
};

using R = CContactRecord;
const CAttributeField kFields[] = {
    {"cn", Slot::kText, &R::displayName, -1, nullptr},
    {"commonname", Slot::kText, &R::displayName, -1, nullptr},
    {"givenname", Slot::kText, &R::givenName, -1, nullptr},
    {"sn", Slot::kText, &R::surname, -1, nullptr},
    {"surname", Slot::kText, &R::surname, -1, nullptr},
    {"mozillanickname", Slot::kText, &R::nickname, -1, nullptr},
    {"xmozillanickname", Slot::kText, &R::nickname, -1, nullptr},
    {"nickname", Slot::kText, &R::nickname, -1, nullptr},
    {"mail", Slot::kEmail, nullptr, -1, nullptr},
    {"mozillasecondemail", Slot::kEmail, nullptr, -1, nullptr},
    {"xmozillasecondemail", Slot::kEmail, nullptr, -1, nullptr},
    {"telephonenumber", Slot::kText, &R::businessPhone, -1, nullptr},
    {"homephone", Slot::kText, &R::homePhone, -1, nullptr},
    {"mobile", Slot::kText, &R::mobilePhone, -1, nullptr},
    {"cellphone", Slot::kText, &R::mobilePhone, -1, nullptr},
    {"pager", Slot::kText, &R::pager, -1, nullptr},
    {"pagerphone", Slot::kText, &R::pager, -1, nullptr},
    {"facsimiletelephonenumber", Slot::kText, &R::businessFax, -1, nullptr},
    {"fax", Slot::kText, &R::businessFax, -1, nullptr},
    {"street", Slot::kText, nullptr, R::kStreet, &R::business},
    {"streetaddress", Slot::kText, nullptr, R::kStreet, &R::business},
    {"mozillaworkstreet2", Slot::kStreet2, nullptr, R::kStreet, &R::business},
    {"l", Slot::kText, nullptr, R::kLocality, &R::business},
    {"locality", Slot::kText, nullptr, R::kLocality, &R::business},
    {"st", Slot::kText, nullptr, R::kRegion, &R::business},
    {"postalcode", Slot::kText, nullptr, R::kPostalCode, &R::business},
    {"zip", Slot::kText, nullptr, R::kPostalCode, &R::business},
    {"c", Slot::kText, nullptr, R::kCountry, &R::business},
    {"countryname", Slot::kText, nullptr, R::kCountry, &R::business},
    {"postofficebox", Slot::kText, nullptr, R::kPoBox, &R::business},
    {"mozillahomestreet", Slot::kText, nullptr, R::kStreet, &R::home},
    {"mozillahomestreet2", Slot::kStreet2, nullptr, R::kStreet, &R::home},
    {"mozillahomelocalityname", Slot::kText, nullptr, R::kLocality, &R::home},
    {"mozillahomestate", Slot::kText, nullptr, R::kRegion, &R::home},
    {"mozillahomepostalcode", Slot::kText, nullptr, R::kPostalCode, &R::home},
    {"mozillahomecountryname", Slot::kText, nullptr, R::kCountry, &R::home},
    {"o", Slot::kText, &R::company, -1, nullptr},
    {"company", Slot::kText, &R::company, -1, nullptr},
    {"ou", Slot::kText, &R::department, -1, nullptr},
    {"department", Slot::kText, &R::department, -1, nullptr},
    {"title", Slot::kText, &R::title, -1, nullptr},
    {"description", Slot::kText, &R::comment, -1, nullptr},
    {"mozillaworkurl", Slot::kText, &R::businessHomePage, -1, nullptr},
    {"workurl", Slot::kText, &R::businessHomePage, -1, nullptr},
    {"mozillahomeurl", Slot::kText, &R::personalHomePage, -1, nullptr},
    {"homeurl", Slot::kText, &R::personalHomePage, -1, nullptr},
    {"birthyear", Slot::kBirthYear, nullptr, -1, nullptr},
    {"birthmonth", Slot::kBirthMonth, nullptr, -1, nullptr},
    {"birthday", Slot::kBirthDay, nullptr, -1, nullptr},
    // Known, and kept nowhere in the address book (or kept by it on its own).
    {"dn", Slot::kIgnored, nullptr, -1, nullptr},
    {"objectclass", Slot::kIgnored, nullptr, -1, nullptr},
    {"version", Slot::kIgnored, nullptr, -1, nullptr},
    {"modifytimestamp", Slot::kIgnored, nullptr, -1, nullptr},
    {"mozillausehtmlmail", Slot::kIgnored, nullptr, -1, nullptr},
};

const CAttributeField* FindField(const std::string& name)
{
    for (const CAttributeField& f : kFields) {
        if (name == f.name)
            return &f;
    }
    return nullptr;
}

bool DecodeBase64(const std::string& in, std::string* out)
{
    return vcard::DecodeBase64(in.data(), in.size(), out, true);
}

bool HasObjectClass(const std::string& value, std::initializer_list<const char*> classes)
{
    std::string v = Lower(value);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
        v.pop_back();
    for (const char* c : classes) {
        if (v == c)
            return true;
    }
    return false;
}

}  // namespace

void CLdifReader::Free()
{
    std::string().swap(m_text);
    m_read = 0;
    m_entry.clear();
    m_entryCount = 0;
    m_memberOf.clear();
    m_membersFound.clear();
    m_members = m_memberBytes = m_membersBeyond = 0;
}

void CLdifReader::_Note(const std::string& text) const
{
    if (m_notes)
        m_notes(text);
}

std::string CLdifReader::_Normal(const std::string& dn)
{
    std::string out;
    out.reserve(dn.size());
    for (size_t i = 0; i < dn.size(); ++i) {
        char c = dn[i];
        if ((c == ' ' || c == '\t') &&
            (out.empty() || out.back() == ',' || out.back() == '=' ||
             dn.find_first_not_of(" \t", i) == std::string::npos || dn[dn.find_first_not_of(" \t", i)] == ',' ||
             dn[dn.find_first_not_of(" \t", i)] == '='))
            continue;
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    }
    return out;
}

bool CLdifReader::_NextLine(std::string* line, bool* cut)
{
    const char* t = m_text.data();
    const size_t n = m_text.size();
    line->clear();
    *cut = false;
    for (;;) {
        if (m_read >= n)
            return false;
        // One physical line, and the lines that go on it.
        bool comment = t[m_read] == '#';
        bool first = true;
        while (m_read < n && (first || t[m_read] == ' ')) {
            size_t start = first ? m_read : m_read + 1;
            size_t end = start;
            while (end < n && t[end] != '\n' && t[end] != '\r')
                ++end;
            if (!comment) {
                size_t room = kMaxValueBytes + 256 - line->size();
                size_t take = end - start;
                if (take > room) {
                    take = room;
                    *cut = true;
                }
                line->append(t + start, take);
            }
            m_read = end;
            if (m_read < n) {
                const bool cr = t[m_read] == '\r';
                ++m_read;
                if (cr && m_read < n && t[m_read] == '\n')
                    ++m_read;
            }
            first = false;
        }
        if (!comment)
            return true;
    }
}

bool CLdifReader::_NextEntry()
{
    m_entryCount = 0;
    m_entryExtra = 0;
    m_entryBytes = 0;
    std::string line;
    bool cut = false;
    // Blank lines before the entry.
    do {
        if (!_NextLine(&line, &cut))
            return false;
    } while (line.find_first_not_of(" \t") == std::string::npos);
    do {
        if (line.find_first_not_of(" \t") == std::string::npos)
            break;
        if (m_entryCount >= kMaxEntryValues || m_entryBytes >= kMaxEntryBytes) {
            ++m_entryExtra;
            continue;
        }
        m_entryBytes += line.size();
        if (m_entry.size() <= m_entryCount)
            m_entry.emplace_back();
        CAttribute& a = m_entry[m_entryCount];
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            // No attribute at all: not a line of LDIF.
            a.name = "(no attribute)";
            a.kind = ValueKind::kPlain;
            a.value = line;
            a.cut = cut;
            ++m_entryCount;
            continue;
        }
        std::string name = line.substr(0, colon);
        size_t semicolon = name.find(';');
        if (semicolon != std::string::npos)
            name.resize(semicolon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.pop_back();
        a.name = Lower(name);
        size_t at = colon + 1;
        a.kind = ValueKind::kPlain;
        if (at < line.size() && line[at] == ':') {
            a.kind = ValueKind::kBase64;
            ++at;
        } else if (at < line.size() && line[at] == '<') {
            a.kind = ValueKind::kUrl;
            ++at;
        }
        while (at < line.size() && line[at] == ' ')
            ++at;
        a.value.assign(line, at, kMaxValueBytes);
        a.cut = cut || line.size() - at > kMaxValueBytes;
        if (a.kind == ValueKind::kBase64) {
            std::string decoded;
            if (DecodeBase64(a.value, &decoded)) {
                a.value.swap(decoded);
            } else {
                a.kind = ValueKind::kBad;
            }
        }
        ++m_entryCount;
    } while (_NextLine(&line, &cut));
    return true;
}

CLdifReader::EntryKind CLdifReader::_Kind() const
{
    bool person = false, group = false, anyClass = false, named = false;
    for (size_t i = 0; i < m_entryCount; ++i) {
        const CAttribute& a = m_entry[i];
        if (a.name == "changetype")
            return EntryKind::kChange;
        if (a.name == "objectclass") {
            anyClass = true;
            person = person || HasObjectClass(a.value, {"person", "organizationalperson", "inetorgperson",
                                                         "mozillaabpersonalpha", "mozillaabpersonobsolete"});
            group = group || HasObjectClass(a.value, {"groupofnames", "groupofuniquenames"});
        }
        named = named || a.name == "cn" || a.name == "mail";
    }
    if (group)
        return EntryKind::kGroup;
    if (person || (!anyClass && named))
        return EntryKind::kPerson;
    return EntryKind::kOther;
}

std::wstring CLdifReader::_Text(const CAttribute& a)
{
    // A value's bytes are UTF-8 as the standard says, unless they cannot be.
    bool ascii = std::all_of(a.value.begin(), a.value.end(), [](char c) { return (c & 0x80) == 0; });
    m_decoder.SetCodePage(ascii || vcard::IsNonAsciiUtf8(a.value.data(), a.value.size()) ? vcard::kUtf8CodePage
                                                                                         : vcard::kAnsiCodePage);
    m_bytes = a.value;
    m_bytes.erase(std::remove(m_bytes.begin(), m_bytes.end(), '\0'), m_bytes.end());
    std::wstring text;
    if (m_bytes.empty() || m_decoder.ToWide(m_bytes, &text) <= 0)
        text.clear();
    return text;
}

void CLdifReader::Load(const char* bytes, size_t size)
{
    Free();
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0)
        m_text.assign(bytes + 3, size - 3);
    else
        m_text.assign(bytes, size);
    // The groups first: a member may stand before its group or after it.
    while (_NextEntry()) {
        if (_Kind() != EntryKind::kGroup)
            continue;
        std::wstring name;
        for (size_t i = 0; i < m_entryCount && name.empty(); ++i) {
            const CAttribute& a = m_entry[i];
            if (a.name == "cn" && (a.kind == ValueKind::kPlain || a.kind == ValueKind::kBase64))
                name = _Text(m_entry[i]);
        }
        if (name.empty())
            continue;
        for (size_t i = 0; i < m_entryCount; ++i) {
            const CAttribute& a = m_entry[i];
            if ((a.name != "member" && a.name != "uniquemember") ||
                (a.kind != ValueKind::kPlain && a.kind != ValueKind::kBase64))
                continue;
            // Each member keeps the dn and a copy of the group's name.
            const size_t bytes = a.value.size() + name.size() * sizeof(wchar_t);
            if (m_members >= kMaxMembers || m_memberBytes + bytes > kMaxMemberBytes) {
                ++m_membersBeyond;
                continue;
            }
            ++m_members;
            m_memberBytes += bytes;
            std::vector<std::wstring>& groups = m_memberOf[_Normal(a.value)];
            if (std::find(groups.begin(), groups.end(), name) == groups.end())
                groups.push_back(name);
        }
    }
    m_read = 0;
}

size_t CLdifReader::CountRecords()
{
    m_read = 0;
    size_t count = 0;
    while (_NextEntry())
        count += _Kind() == EntryKind::kPerson ? 1 : 0;
    return count;
}

std::wstring CLdifReader::RecordName() const
{
    return m_record.Name();
}

void CLdifReader::_FillRecord()
{
    CContactRecord& r = m_record;
    r.Clear();
    m_cut = m_entryExtra > 0;
    int year = 0, month = 0, day = 0;
    std::string dn;
    for (size_t i = 0; i < m_entryCount; ++i) {
        const CAttribute& a = m_entry[i];
        if (a.name == "dn")
            dn = a.value;
        if (a.kind == ValueKind::kUrl || a.kind == ValueKind::kBad) {
            ++(a.kind == ValueKind::kUrl ? m_urls : m_badBase64);
            continue;
        }
        if (a.cut) {
            ++m_cutValues;
            m_cut = true;
        }
        const CAttributeField* f = FindField(a.name);
        if (!f) {
            if (a.value.find_first_not_of(" \t") == std::string::npos)
                continue;
            if (m_unread.size() < kMaxUnreadNames || m_unread.count(a.name.substr(0, 64)))
                ++m_unread[a.name.substr(0, 64)];
            else
                ++m_unreadOther;
            continue;
        }
        if (f->slot == Slot::kIgnored)
            continue;
        std::wstring text = _Text(a);
        if (text.empty())
            continue;
        switch (f->slot) {
        case Slot::kText: {
            std::wstring& field = f->text ? r.*f->text : (r.*f->address)[f->part];
            if (field.empty() || field == text) {
                field = text;
            } else if (m_dropped++ == 0) {
                m_firstDropped = a.name;
                m_cut = true;
            } else {
                m_cut = true;
            }
            break;
        }
        case Slot::kStreet2: {
            std::wstring& street = (r.*f->address)[f->part];
            street += (street.empty() ? L"" : L"\r\n") + text;
            break;
        }
        case Slot::kEmail:
            if (std::find(r.emails.begin(), r.emails.end(), text) == r.emails.end()) {
                r.emails.push_back(text);
                r.emailTypes.push_back(L"SMTP");
            }
            break;
        case Slot::kBirthYear:
        case Slot::kBirthMonth:
        case Slot::kBirthDay: {
            int number = 0;
            for (wchar_t c : text) {
                if (c < L'0' || c > L'9' || number > 100000) {
                    number = -1;
                    break;
                }
                number = number * 10 + (c - L'0');
            }
            (f->slot == Slot::kBirthYear ? year : f->slot == Slot::kBirthMonth ? month : day) = number;
            break;
        }
        case Slot::kIgnored:
            break;
        }
    }
    r.DefaultToFirstEmail();
    if (year || month || day) {
        uint64_t fileTime = 0;
        if (vcard::FileTimeFromDate(year, month, day, &fileTime)) {
            r.birthday.present = true;
            r.birthday.fileTime = fileTime;
        } else {
            // Thunderbird keeps a birthday without its year; the address book cannot.
            if (m_dropped++ == 0)
                m_firstDropped = "birthyear/birthmonth/birthday";
            m_cut = true;
        }
    }
    auto member = m_memberOf.find(_Normal(dn));
    if (!dn.empty() && member != m_memberOf.end()) {
        r.groups = member->second;
        m_membersFound[member->first] = true;
    }
}

int CLdifReader::ReadAll(const RecordSink& sink)
{
    m_read = 0;
    m_changes = m_others = m_urls = m_cutValues = m_badBase64 = m_dropped = 0;
    m_entriesCut = 0;
    m_firstDropped.clear();
    m_unread.clear();
    m_unreadOther = 0;
    m_membersFound.clear();
    size_t records = 0;
    int result = 0;
    while (_NextEntry()) {
        m_entriesCut += m_entryExtra > 0;
        EntryKind kind = _Kind();
        if (kind == EntryKind::kChange) {
            ++m_changes;
            continue;
        }
        if (kind == EntryKind::kOther)
            ++m_others;
        if (kind != EntryKind::kPerson)
            continue;
        _FillRecord();
        ++records;
        if (sink() < 0) {
            result = -1;
            break;
        }
    }
    if (result < 0)
        return result;
    if (records == 0)
        _Note("holds no person entry");
    if (m_changes > 0)
        _Note(std::to_string(m_changes) + " change records skipped: they change a directory, they are no entries");
    if (m_others > 0)
        _Note(std::to_string(m_others) + " entries neither persons nor groups, not read");
    if (m_urls > 0)
        _Note(std::to_string(m_urls) + " values given by reference (\"attr:< url\") not read");
    if (m_badBase64 > 0)
        _Note(std::to_string(m_badBase64) + " base64 values that do not decode, not read");
    for (const auto& unread : m_unread)
        _Note("attribute \"" + unread.first + "\": " + std::to_string(unread.second) +
              " values of a kind the address book keeps no field for, not read");
    if (m_unreadOther > 0)
        _Note(std::to_string(m_unreadOther) + " values of further attributes the address book keeps no field for, "
              "not read");
    if (m_cutValues > 0)
        _Note(std::to_string(m_cutValues) + " values longer than " + std::to_string(kMaxValueBytes) +
              " bytes: cut to their start");
    if (m_entriesCut > 0)
        _Note(std::to_string(m_entriesCut) + " entries with more than " + std::to_string(kMaxEntryValues) +
              " values: those beyond were not read");
    if (m_dropped > 0)
        _Note(std::to_string(m_dropped) + " values found their field taken or were no valid date, not read (first: " +
              m_firstDropped + ")");
    if (m_membersFound.size() < m_memberOf.size())
        _Note(std::to_string(m_memberOf.size() - m_membersFound.size()) +
              " group members name no person entry of the file");
    if (m_membersBeyond > 0)
        _Note(std::to_string(m_membersBeyond) + " group members beyond the first " + std::to_string(kMaxMembers) +
              " not read");
    return 0;
}

}  // namespace ldif
