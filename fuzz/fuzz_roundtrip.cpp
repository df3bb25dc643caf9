// Round trip of the writer and the reader: a contact made from the input, written as vCard 2.1 or
// 3.0 in a real code page by CCardWriter, read back by CCardReader, must come back as it was.
// The only changes allowed:
//   - characters the code page lacks (the expected values pass through the code page first);
//   - in 3.0 a lone LF or CR comes back as CR LF (3.0 has one form of line break);
//   - an e-mail address without an address type comes back typed SMTP;
//   - dates come back as the day (a card holds no time of day; a year after 9999 is not
//     written), children's names trimmed;
//   - a card in the system's ANSI code page carries no charset, and the reader takes a value
//     whose bytes are UTF-8 for UTF-8: the ANSI variant draws its non-ASCII characters from
//     those whose windows-1252 byte cannot start a UTF-8 sequence.
// A mismatch prints the card and the field, then aborts.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/hostcodepages.h"
#include "codec/vcard/CardText.h"
#include "codec/vcard/CardReader.h"

namespace {

// Pieces that give separators, escapes, encodings and line layout a chance to go wrong.
const wchar_t* const kPieces[] = {
    L";", L",", L"\\", L":", L"=", L"\t", L" ", L"\r\n", L"\n", L"\r", L"=3D", L"=\r\n", L"=0", L"\\n",
    L"\\;", L"\\,", L"\\\\", L"\"", L"a", L"Ann", L"Lee", L"END:VCARD", L"BEGIN:VCARD", L"X-SKYPE-A:b",
    L"VERSION:3.0", L";CHARSET=UTF-8", L"\v", L"\f", L"\x7f", L"\x01", L"tel:",
    // Shift_JIS characters whose second byte is '\' or '|', Big5 ones whose second byte is '\'.
    L"\u30bd", L"\u8868", L"\u5341", L"\u30dd", L"\u80fd", L"\u8a31", L"\u529f",
    L"\u0418\u0432\u0430\u043d", L"\u5c71\u7530", L"\u00e9", L"\u00fc\u00df", L"\u20ac", L"\u00a0",
};
// For the ANSI variant: characters whose windows-1252 byte (0x80-0xBF) cannot start UTF-8.
const wchar_t kAnsiSafe[] = L"\u20ac\u201a\u0192\u201e\u2026\u00a0\u00a3\u00a9\u00b0\u00b5\u00bf\u00ae";

std::wstring MakeText(FuzzedDataProvider& in, bool ansiOnly)
{
    std::wstring text;
    size_t pieces = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
        switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            text.append(in.ConsumeIntegralInRange<size_t>(1, 140), static_cast<wchar_t>(L'a' + in.ConsumeIntegralInRange(0, 25)));
            break;
        case 1: {
            // Any character of the basic plane but the surrogates (UTF-16 on Windows, one unit).
            wchar_t c = static_cast<wchar_t>(in.ConsumeIntegralInRange(1, 0xFFFD));
            if (c >= 0xD800 && c <= 0xDFFF)
                c = L'?';
            if (ansiOnly && c >= 0x80)
                c = kAnsiSafe[c % (sizeof kAnsiSafe / sizeof kAnsiSafe[0] - 1)];
            text.push_back(c);
            break;
        }
        default: {
            const wchar_t* piece = kPieces[in.ConsumeIntegralInRange<size_t>(0, sizeof kPieces / sizeof kPieces[0] - 1)];
            if (ansiOnly && piece[0] >= 0x80)
                piece = L"\u00a9";
            text += piece;
        }
        }
    }
    return text;
}

// A lone LF or CR of a 3.0 value comes back as CR LF.
std::wstring OneLineBreak(const std::wstring& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\r' && i + 1 < s.size() && s[i + 1] == L'\n') {
            out += L"\r\n";
            ++i;
        } else if (s[i] == L'\r' || s[i] == L'\n') {
            out += L"\r\n";
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::wstring Trim(const std::wstring& s)
{
    const wchar_t* blanks = L" \t\r\n\v\f";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::wstring::npos)
        return std::wstring();
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

struct CCheck {
    const std::string& card;
    bool failed = false;

    void Text(const char* what, const std::wstring& expected, const std::wstring& got)
    {
        if (expected == got)
            return;
        std::fprintf(stderr, "round trip changed %s\n  expected:", what);
        for (wchar_t c : expected)
            std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
        std::fprintf(stderr, "\n  read:    ");
        for (wchar_t c : got)
            std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
        std::fprintf(stderr, "\n");
        failed = true;
    }
    void List(const char* what, const std::vector<std::wstring>& expected, const std::vector<std::wstring>& got)
    {
        if (expected.size() != got.size()) {
            std::fprintf(stderr, "round trip changed %s: %zu entries written, %zu read\n", what, expected.size(),
                         got.size());
            failed = true;
            return;
        }
        for (size_t i = 0; i < expected.size(); ++i)
            Text(what, expected[i], got[i]);
    }
    void Number(const char* what, unsigned long long expected, unsigned long long got)
    {
        if (expected == got)
            return;
        std::fprintf(stderr, "round trip changed %s: %llu written, %llu read\n", what, expected, got);
        failed = true;
    }
};

uint64_t Day(const CContactDate& date)
{
    vcard::CivilTime t;
    uint64_t day = 0;
    if (!date.present || !vcard::CivilFromFileTime(date.fileTime, &t) || t.year > 9999 ||
        !vcard::FileTimeFromDate(t.year, t.month, t.day, &day))
        return 0;
    return day;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    size_t pageCount = 0;
    const fuzzhost::CCodePage* pages = fuzzhost::CodePages(&pageCount);
    const int format = in.ConsumeBool() ? vcard::kVCard30 : vcard::kVCard21;
    // One choice more than there are code pages: the system's ANSI code page, written without a
    // charset.
    size_t choice = in.ConsumeIntegralInRange<size_t>(0, pageCount);
    const bool ansi = choice == pageCount;
    const int codePage = ansi ? vcard::kAnsiCodePage : pages[choice].number;
    fuzzhost::CHostConverter converter(codePage);

    CContactRecord f;
    std::wstring* texts[] = {&f.surname, &f.givenName, &f.middleName, &f.namePrefix, &f.displayName, &f.nickname,
                             &f.company, &f.department, &f.title, &f.comment, &f.businessPhone, &f.businessFax,
                             &f.homePhone, &f.homeFax, &f.mobilePhone, &f.pager, &f.business[CContactRecord::kExtended],
                             &f.business[CContactRecord::kStreet], &f.business[CContactRecord::kLocality], &f.business[CContactRecord::kRegion], &f.business[CContactRecord::kPostalCode],
                             &f.business[CContactRecord::kCountry], &f.home[CContactRecord::kStreet], &f.home[CContactRecord::kLocality], &f.home[CContactRecord::kRegion], &f.home[CContactRecord::kPostalCode],
                             &f.home[CContactRecord::kCountry], &f.personalHomePage, &f.businessHomePage, &f.spouse,
                             &f.nameSuffix, &f.assistant, &f.manager, &f.business[CContactRecord::kPoBox],
                             &f.home[CContactRecord::kPoBox], &f.other[CContactRecord::kPoBox],
                             &f.other[CContactRecord::kStreet], &f.other[CContactRecord::kLocality],
                             &f.other[CContactRecord::kRegion], &f.other[CContactRecord::kPostalCode],
                             &f.other[CContactRecord::kCountry], &f.carPhone, &f.primaryPhone, &f.business2Phone,
                             &f.home2Phone, &f.otherPhone, &f.companyMainPhone, &f.callbackPhone, &f.isdnNumber,
                             &f.radioPhone, &f.telexNumber, &f.ttyTddPhone, &f.assistantPhone, &f.otherFax};
    for (std::wstring* t : texts) {
        if (in.ConsumeBool())
            *t = MakeText(in, ansi);
    }
    // E-mail: one address alone, or a list with its default (the address book keeps
    // PR_EMAIL_ADDRESS equal to the default entry), types SMTP or none.
    size_t addresses = in.ConsumeIntegralInRange<size_t>(0, 3);
    for (size_t i = 0; i < addresses; ++i) {
        f.emails.push_back(MakeText(in, ansi));
        f.emailTypes.push_back(in.ConsumeBool() ? L"SMTP" : L"");
    }
    f.defaultAddressIndex = in.ConsumeIntegralInRange<long>(-1, static_cast<long>(addresses));
    if (f.defaultAddressIndex >= 0 && static_cast<size_t>(f.defaultAddressIndex) < addresses) {
        f.emailAddress = f.emails[f.defaultAddressIndex];
        f.addrType = f.emailTypes[f.defaultAddressIndex];
    } else if (addresses == 0 && in.ConsumeBool()) {
        f.emailAddress = MakeText(in, ansi);
        f.addrType = L"SMTP";
    }
    for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 2); i > 0; --i)
        f.conferencingServers.push_back(MakeText(in, ansi));
    for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 3); i > 0; --i)
        f.children.push_back(MakeText(in, ansi));
    for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 3); i > 0; --i)
        f.groups.push_back(MakeText(in, ansi));
    for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 2); i > 0; --i)
        f.certificates.push_back(in.ConsumeRandomLengthString(300));
    f.hasGender = in.ConsumeBool();
    f.gender = in.ConsumeIntegral<short>();
    for (CContactDate* d : {&f.birthday, &f.anniversary, &f.modified}) {
        d->present = in.ConsumeBool();
        d->fileTime = in.ConsumeIntegral<uint64_t>();
    }

    vcard::CCardWriter writer(format, !ansi, ansi ? "" : pages[choice].charset, 2, 1, converter);
    CardBuffer buffer;
    writer.Write(f, &buffer);
    // Two cards back to back, as the one-file mode writes them.
    std::string text(buffer.bytes, static_cast<size_t>(buffer.length));
    text += text;

    fuzzhost::CHostConverter decoder(vcard::kAnsiCodePage);
    vcard::CCardReader reader(decoder);
    reader.Text().Load(text.data(), text.size());
    std::vector<CContactRecord> cards;
    reader.ReadAllCards([&] {
        cards.push_back(reader.Card());
        return 0;
    });

    CCheck check{text};
    auto value = [&](const std::wstring& s) {
        std::wstring through = converter.Through(s);
        return format == vcard::kVCard30 ? OneLineBreak(through) : through;
    };
    check.Number("number of cards", 2, cards.size());
    for (const CContactRecord& c : cards) {
        check.Text("N family", value(f.surname), c.surname);
        check.Text("N given", value(f.givenName), c.givenName);
        check.Text("N middle", value(f.middleName), c.middleName);
        check.Text("N prefix", value(f.namePrefix), c.namePrefix);
        check.Text("N suffix", value(f.nameSuffix), c.nameSuffix);
        check.Text("X-OUTL-ASSISTANTNAME", value(f.assistant), c.assistant);
        check.Text("X-OUTL-MANAGERNAME", value(f.manager), c.manager);
        std::wstring fn = f.displayName;
        if (fn.empty()) {
            for (const std::wstring* part : {&f.givenName, &f.middleName, &f.surname}) {
                if (part->empty())
                    continue;
                if (!fn.empty())
                    fn.push_back(L' ');
                fn += *part;
            }
        }
        check.Text("FN", value(fn), c.displayName);
        check.Text("NICKNAME", value(f.nickname), c.nickname);
        check.Text("ORG company", value(f.company), c.company);
        check.Text("ORG department", value(f.department), c.department);
        check.Text("TITLE", value(f.title), c.title);
        check.Text("NOTE", value(f.comment), c.comment);
        // A second business or home telephone is the second line of its kind: alone, it is read
        // as the first.
        check.Text("TEL work", value(f.businessPhone.empty() ? f.business2Phone : f.businessPhone), c.businessPhone);
        check.Text("TEL work fax", value(f.businessFax), c.businessFax);
        check.Text("TEL home", value(f.homePhone.empty() ? f.home2Phone : f.homePhone), c.homePhone);
        check.Text("TEL home fax", value(f.homeFax), c.homeFax);
        check.Text("TEL cell", value(f.mobilePhone), c.mobilePhone);
        check.Text("TEL pager", value(f.pager), c.pager);
        const std::wstring work[] = {f.business[CContactRecord::kPoBox], f.business[CContactRecord::kExtended], f.business[CContactRecord::kStreet], f.business[CContactRecord::kLocality], f.business[CContactRecord::kRegion],
                                     f.business[CContactRecord::kPostalCode], f.business[CContactRecord::kCountry]};
        const std::wstring home[] = {f.home[CContactRecord::kPoBox], L"", f.home[CContactRecord::kStreet], f.home[CContactRecord::kLocality], f.home[CContactRecord::kRegion], f.home[CContactRecord::kPostalCode],
                                     f.home[CContactRecord::kCountry]};
        for (int i = 0; i < CContactRecord::kAddressParts; ++i) {
            check.Text("ADR work", value(work[i]), c.business[i]);
            check.Text("ADR home", value(home[i]), c.home[i]);
            check.Text("ADR other", i == CContactRecord::kExtended ? L"" : value(f.other[i]), c.other[i]);
        }
        const std::wstring business2 = f.businessPhone.empty() ? L"" : f.business2Phone;
        const std::wstring home2 = f.homePhone.empty() ? L"" : f.home2Phone;
        check.Text("TEL work 2", value(business2), c.business2Phone);
        check.Text("TEL home 2", value(home2), c.home2Phone);
        const std::pair<const char*, std::pair<const std::wstring*, const std::wstring*>> phones[] = {
            {"TEL car", {&f.carPhone, &c.carPhone}},         {"TEL pref", {&f.primaryPhone, &c.primaryPhone}},
            {"TEL voice", {&f.otherPhone, &c.otherPhone}},   {"TEL main", {&f.companyMainPhone, &c.companyMainPhone}},
            {"TEL callback", {&f.callbackPhone, &c.callbackPhone}}, {"TEL isdn", {&f.isdnNumber, &c.isdnNumber}},
            {"TEL radio", {&f.radioPhone, &c.radioPhone}},   {"TEL telex", {&f.telexNumber, &c.telexNumber}},
            {"TEL tty", {&f.ttyTddPhone, &c.ttyTddPhone}},   {"TEL assistant", {&f.assistantPhone, &c.assistantPhone}},
            {"TEL other fax", {&f.otherFax, &c.otherFax}}};
        for (const auto& phone : phones)
            check.Text(phone.first, value(*phone.second.first), *phone.second.second);
        std::vector<std::wstring> groups;  // trimmed, without empty names and repeats
        for (const std::wstring& name : f.groups) {
            std::wstring read = Trim(value(name));
            if (!read.empty() && std::find(groups.begin(), groups.end(), read) == groups.end())
                groups.push_back(read);
        }
        check.List("CATEGORIES", groups, c.groups);
        std::vector<std::string> certificates;  // only encoded sequences are certificates
        for (const std::string& key : f.certificates) {
            if (!key.empty() && static_cast<unsigned char>(key[0]) == 0x30)
                certificates.push_back(key);
        }
        check.Number("KEY", certificates.size(), c.certificates.size());
        if (certificates != c.certificates) {
            std::fprintf(stderr, "round trip changed KEY\n");
            check.failed = true;
        }
        check.Text("URL home", value(f.personalHomePage), c.personalHomePage);
        check.Text("URL work", value(f.businessHomePage), c.businessHomePage);
        check.Text("X-OUTL-SPOUSE", value(f.spouse), c.spouse);

        std::vector<std::wstring> emails;
        if (!f.emailAddress.empty())
            emails.push_back(value(f.emailAddress));
        for (size_t j = 0; j < f.emails.size(); ++j) {
            if (!f.emails[j].empty() && static_cast<long>(j) != f.defaultAddressIndex)
                emails.push_back(value(f.emails[j]));
        }
        check.List("EMAIL", emails, c.emails);
        check.List("EMAIL types", std::vector<std::wstring>(emails.size(), L"SMTP"), c.emailTypes);

        std::vector<std::wstring> servers;
        for (const std::wstring& s : f.conferencingServers)
            servers.push_back(value(s));
        check.List("X-OUTL-NMSERVER", servers, c.conferencingServers);
        std::vector<std::wstring> children;
        for (const std::wstring& child : f.children) {
            std::wstring name = Trim(value(child));
            if (!name.empty())
                children.push_back(name);
        }
        check.List("X-OUTL-CHILDREN", children, c.children);
        check.Number("X-OUTL-GENDER", f.hasGender ? static_cast<uint16_t>(f.gender) : 0, static_cast<uint16_t>(c.gender));
        check.Number("BDAY", Day(f.birthday), c.birthday.fileTime);
        check.Number("X-OUTL-ANNIVERSARY", Day(f.anniversary), c.anniversary.fileTime);
    }
    if (check.failed) {
        std::fprintf(stderr, "format %d, code page %d, card:\n%.*s\n", format, codePage,
                     static_cast<int>(buffer.length), buffer.bytes);
        std::abort();
    }
    return 0;
}
