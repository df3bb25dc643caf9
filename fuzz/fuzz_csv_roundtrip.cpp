// Round trip of the CSV writer and reader: a contact made from the input, written in UTF-8 (with
// or without a byte-order mark) or the ANSI code page, read back, must come back as it was. The
// only changes allowed are the ones the format makes:
//   - the home and other addresses have no extended part, the modification time is not written;
//   - list entries (children, servers, groups) come back trimmed, empty ones dropped, groups once;
//   - e-mail: the default address first, addresses trimmed, empty and repeated ones dropped, an
//     empty type read as SMTP;
//   - a gender other than female or male comes back unspecified; dates come back as the day;
//   - the ANSI variant draws its non-ASCII characters from those whose windows-1252 byte cannot
//     start a UTF-8 sequence, since a file that is valid UTF-8 is read as UTF-8.
// A mismatch prints the text and the field, then aborts.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/csv/CsvText.h"
#include "fuzz/hostcodepages.h"

namespace {

const wchar_t* const kPieces[] = {L",", L";", L"\"", L"\"\"", L"\r\n", L"\n", L"\r", L"\t", L" ", L"\\", L"\\;",
                                  L" ::: ", L"* ", L"0/0/00", L"a", L"Ann", L"\u00e9", L"\u20ac", L"\u5c71\u7530",
                                  L"\u0418\u0432\u0430\u043d", L"\ufeff", L"=", L"'"};
const wchar_t kAnsiSafe[] = L"\u20ac\u201a\u0192\u201e\u2026\u00a0\u00a3\u00a9\u00b0\u00b5\u00bf\u00ae";

std::wstring MakeText(FuzzedDataProvider& in, bool ansi)
{
    std::wstring text;
    size_t pieces = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
        if (in.ConsumeBool()) {
            wchar_t c = static_cast<wchar_t>(in.ConsumeIntegralInRange(1, 0xFFFD));
            if (c >= 0xD800 && c <= 0xDFFF)
                c = L'?';
            if (ansi && c >= 0x80)
                c = kAnsiSafe[c % (sizeof kAnsiSafe / sizeof kAnsiSafe[0] - 1)];
            text.push_back(c);
        } else {
            const size_t last = sizeof kPieces / sizeof kPieces[0] - 1;
            const wchar_t* piece = kPieces[in.ConsumeIntegralInRange<size_t>(0, last)];
            text += ansi && piece[0] >= 0x80 ? L"\u00a9" : piece;
        }
    }
    return text;
}

std::wstring Trim(const std::wstring& s)
{
    size_t b = s.find_first_not_of(L" \t\r\n");
    return b == std::wstring::npos ? std::wstring() : s.substr(b, s.find_last_not_of(L" \t\r\n") - b + 1);
}

std::vector<std::wstring> Entries(const std::vector<std::wstring>& list, bool once)
{
    std::vector<std::wstring> out;
    for (const std::wstring& s : list) {
        std::wstring t = Trim(s);
        if (!t.empty() && (!once || std::find(out.begin(), out.end(), t) == out.end()))
            out.push_back(t);
    }
    return out;
}

CContactDate Day(const CContactDate& date)
{
    vcard::CivilTime t;
    CContactDate day;
    day.present = date.present && vcard::CivilFromFileTime(date.fileTime, &t) && t.year <= 9999 &&
                  vcard::FileTimeFromDate(t.year, t.month, t.day, &day.fileTime);
    if (!day.present)
        day.fileTime = 0;
    return day;
}

// What the reader must give for a record written.
CContactRecord Expected(const CContactRecord& f)
{
    CContactRecord e = f;
    e.home[CContactRecord::kExtended].clear();
    e.other[CContactRecord::kExtended].clear();
    e.modified = CContactDate();
    e.certificates.clear();
    for (const std::string& c : f.certificates) {
        if (!c.empty())
            e.certificates.push_back(c);
    }
    e.children = Entries(f.children, false);
    e.conferencingServers = Entries(f.conferencingServers, false);
    e.groups = Entries(f.groups, true);
    std::vector<std::wstring> emails = f.emails, types = f.emailTypes;
    types.resize(emails.size());
    if (emails.empty() && !f.emailAddress.empty()) {
        emails.push_back(f.emailAddress);
        types.push_back(f.addrType);
    }
    if (f.defaultAddressIndex > 0 && static_cast<size_t>(f.defaultAddressIndex) < emails.size()) {
        size_t d = static_cast<size_t>(f.defaultAddressIndex);
        std::rotate(emails.begin(), emails.begin() + d, emails.begin() + d + 1);
        std::rotate(types.begin(), types.begin() + d, types.begin() + d + 1);
    }
    e.emails.clear();
    e.emailTypes.clear();
    for (size_t i = 0; i < emails.size(); ++i) {
        std::wstring address = Trim(emails[i]), type = Trim(types[i]);
        if (address.empty() || std::find(e.emails.begin(), e.emails.end(), address) != e.emails.end())
            continue;
        e.emails.push_back(address);
        e.emailTypes.push_back(type.empty() ? L"SMTP" : type);
    }
    e.defaultAddressIndex = e.emails.empty() ? -1 : 0;
    e.emailAddress = e.emails.empty() ? L"" : e.emails[0];
    e.addrType = e.emails.empty() ? L"" : e.emailTypes[0];
    e.gender = f.hasGender && (f.gender == 1 || f.gender == 2) ? f.gender : 0;
    e.birthday = Day(f.birthday);
    e.anniversary = Day(f.anniversary);
    return e;
}

void Compare(const CContactRecord& a, const CContactRecord& b, const std::string& text)
{
    std::vector<const std::wstring*> x = a.Texts(), y = b.Texts();
    bool same = x.size() == y.size() && a.certificates == b.certificates && a.hasGender == b.hasGender &&
                a.gender == b.gender && a.defaultAddressIndex == b.defaultAddressIndex &&
                a.birthday.present == b.birthday.present && a.birthday.fileTime == b.birthday.fileTime &&
                a.anniversary.present == b.anniversary.present && a.anniversary.fileTime == b.anniversary.fileTime &&
                a.emails.size() == b.emails.size() && a.groups.size() == b.groups.size() &&
                a.children.size() == b.children.size();
    for (size_t i = 0; same && i < x.size(); ++i) {
        if (*x[i] != *y[i]) {
            std::fprintf(stderr, "text %zu differs\n  expected:", i);
            for (wchar_t c : *x[i])
                std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
            std::fprintf(stderr, "\n  read:    ");
            for (wchar_t c : *y[i])
                std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
            std::fprintf(stderr, "\n");
            same = false;
        }
    }
    if (!same) {
        std::fprintf(stderr, "round trip changed the contact; text:\n%s\n", text.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool ansi = in.ConsumeBool();
    const bool mark = !ansi && in.ConsumeBool();
    fuzzhost::CHostConverter converter(ansi ? vcard::kAnsiCodePage : vcard::kUtf8CodePage);
    std::vector<CContactRecord> written(2);
    for (CContactRecord& f : written) {
        for (std::wstring* text : f.Texts()) {
            if (in.ConsumeBool())
                *text = MakeText(in, ansi);
        }
        f.nickname = L"k";  // a column that makes the row a contact
        for (std::vector<std::wstring>* list : {&f.children, &f.conferencingServers, &f.groups, &f.emails}) {
            for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 5); i > 0; --i)
                list->push_back(MakeText(in, ansi));
        }
        for (size_t i = 0; i < f.emails.size(); ++i)
            f.emailTypes.push_back(in.ConsumeBool() ? L"SMTP" : MakeText(in, ansi));
        f.defaultAddressIndex = in.ConsumeIntegralInRange<long>(-1, static_cast<long>(f.emails.size()));
        for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 2); i > 0; --i)
            f.certificates.push_back(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 40)));
        f.hasGender = in.ConsumeBool();
        f.gender = in.ConsumeIntegralInRange<short>(0, 3);
        for (CContactDate* d : {&f.birthday, &f.anniversary, &f.modified}) {
            d->present = in.ConsumeBool();
            d->fileTime = in.ConsumeIntegral<uint64_t>();
        }
    }
    csv::CCsvWriter writer(converter);
    std::string text = (mark ? "\xEF\xBB\xBF" : "") + csv::CCsvWriter::HeaderRow();
    for (const CContactRecord& f : written) {
        std::string row;
        writer.Write(f, &row);
        text += row;
    }

    fuzzhost::CHostConverter decoder(vcard::kAnsiCodePage);
    csv::CCsvReader reader(decoder);
    reader.Load(text.data(), text.size());
    std::vector<CContactRecord> read;
    if (reader.CountRecords() != written.size()) {
        std::fprintf(stderr, "counted %zu rows\n%s\n", reader.CountRecords(), text.c_str());
        std::abort();
    }
    reader.ReadAll([&] {
        read.push_back(reader.Record());
        return 0;
    });
    if (read.size() != written.size())
        std::abort();
    for (size_t i = 0; i < read.size(); ++i) {
        CContactRecord expected = Expected(written[i]);
        for (std::wstring* t : expected.Texts())
            *t = converter.Through(*t);
        Compare(expected, read[i], text);
    }
    return 0;
}
