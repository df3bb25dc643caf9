#include "codec/vcard/CardReader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace vcard {

std::wstring TrimBlanks(const std::wstring& s)
{
    const wchar_t* blanks = L" \t\r\n\v\f";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::wstring::npos)
        return std::wstring();
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool FileTimeFromDate(int year, int month, int day, uint64_t* fileTime)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1)
        return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return false;
    // Days since 1970-01-01 in the proleptic Gregorian calendar, then moved to 1601-01-01.
    int64_t y = month <= 2 ? year - 1 : year;
    int64_t era = y / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = month > 2 ? month - 3 : month + 9;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468 + 134774;
    *fileTime = static_cast<uint64_t>(days) * 86400u * 10000000u;
    return true;
}

std::wstring CCardReader::CardName() const
{
    return m_card.Name();
}

// ---------------------------------------------------------------------------------------------
// Cards

int CCardReader::ReadAllCards(const CardSink& sink)
{
    m_cardsRead = 0;
    m_textEndedInCard = false;
    m_outer.clear();
    ResetCard();
    for (;;) {
        switch (m_text.NextStep()) {
        case CvCardText::CardStep::kBegin:
            if (m_text.Depth() > 1) {
                // A card inside this one: this one waits, fields and all, behind its END:VCARD.
                m_outer.emplace_back();
                COpenCard& outer = m_outer.back();
                outer.card = std::move(m_card);
                outer.preferredEmails.swap(m_preferredEmails);
                outer.preferredTypes.swap(m_preferredTypes);
                outer.skypeSeen = m_skypeSeen;
                outer.exactValues = m_text.ExactValues();
                outer.storedBytes = m_storedBytes;
                outer.skipped = m_skipped;
                outer.dropped = m_dropped;
                outer.firstDropped.swap(m_firstDropped);
                outer.cut = m_cardCut;
            }
            _StartCard();
            break;
        case CvCardText::CardStep::kProperty:
            _OnProperty();
            break;
        case CvCardText::CardStep::kEnd: {
            _CompleteCard();
            ++m_cardsRead;
            if (sink && sink() < 0) {
                m_outer.clear();
                ResetCard();
                return -1;
            }
            if (!m_outer.empty()) {
                COpenCard& outer = m_outer.back();
                m_card = std::move(outer.card);
                m_preferredEmails.swap(outer.preferredEmails);
                m_preferredTypes.swap(outer.preferredTypes);
                m_skypeSeen = outer.skypeSeen;
                m_text.SetExactValues(outer.exactValues);
                m_storedBytes = outer.storedBytes;
                m_skipped = outer.skipped;
                m_dropped = outer.dropped;
                m_firstDropped.swap(outer.firstDropped);
                m_cardCut = outer.cut;
                m_outer.pop_back();
            }
            break;
        }
        case CvCardText::CardStep::kTextEnd:
            // Cards still open when the text ends are dropped.
            m_textEndedInCard = m_text.Depth() > 0;
            m_outer.clear();
            ResetCard();
            return 0;
        }
    }
}

void CCardReader::_OnProperty()
{
    _SetCodePageForLine();
    const bool stored = PropertyIsStored();
    if (stored) {
        // Past the card's bound its values are only stepped over, up to its END:VCARD.
        size_t bytes = m_text.FullLineBytes();
        m_storedBytes += bytes < CvCardText::kMaxLineBytes ? bytes : CvCardText::kMaxLineBytes;
        if (m_storedBytes > kMaxCardBytes) {
            ++m_skipped;
            return;
        }
    }
    DispatchProperty();
    if (stored && m_text.LineCut()) {
        m_cardCut = true;
        if (m_reports)
            m_reports->ReportLineCut();
    }
}

void CCardReader::_CompleteCard()
{
    if (!m_preferredEmails.empty()) {
        // Each preferred address went in front of those before it: the last one comes first.
        std::vector<std::wstring> emails;
        std::vector<std::wstring> types;
        emails.reserve(m_preferredEmails.size() + m_card.emails.size());
        types.reserve(emails.capacity());
        emails.insert(emails.end(), std::make_move_iterator(m_preferredEmails.rbegin()),
                      std::make_move_iterator(m_preferredEmails.rend()));
        types.insert(types.end(), std::make_move_iterator(m_preferredTypes.rbegin()),
                     std::make_move_iterator(m_preferredTypes.rend()));
        emails.insert(emails.end(), std::make_move_iterator(m_card.emails.begin()),
                      std::make_move_iterator(m_card.emails.end()));
        types.insert(types.end(), std::make_move_iterator(m_card.emailTypes.begin()),
                     std::make_move_iterator(m_card.emailTypes.end()));
        m_card.emails.swap(emails);
        m_card.emailTypes.swap(types);
        m_preferredEmails.clear();
        m_preferredTypes.clear();
    }
    if (m_dropped > 0 && m_reports)
        m_reports->ReportValuesDropped(m_dropped, m_firstDropped);
    if (m_skipped > 0) {
        m_cardCut = true;
        if (m_reports)
            m_reports->ReportCardCut(m_skipped);
    }
    if (m_skypeSeen)
        ApplySkypeFixes();
    m_card.DefaultToFirstEmail();
}

void CCardReader::_StartCard()
{
    m_card.Clear();
    m_preferredEmails.clear();
    m_preferredTypes.clear();
    m_text.SetExactValues(false);
    m_skypeSeen = false;
    m_storedBytes = 0;
    m_skipped = 0;
    m_dropped = 0;
    m_firstDropped.clear();
    m_cardCut = false;
}

void CCardReader::ResetCard()
{
    _StartCard();
    m_text.SetFormat(0);
}

// ---------------------------------------------------------------------------------------------
// Code pages and stored values

void CCardReader::_SetCodePageForLine()
{
    m_valueCodePagePending = false;
    int codePage = kAnsiCodePage;
    if (m_text.IsUnicodeText()) {
        // Whatever a line's CHARSET says, a Unicode file is now UTF-8.
        codePage = kUtf8CodePage;
    } else if (m_text.HasCharset()) {
        codePage = m_decoder.CodePageByCharset(m_text.Charset().c_str());
        if (codePage <= 0)
            codePage = kAnsiCodePage;
    } else {
        // Decided when the value is known: UTF-8 when its bytes are (and are not plain ASCII).
        m_valueCodePagePending = true;
    }
    m_decoder.SetCodePage(codePage);
    _SetLeadBytes(codePage);
}

void CCardReader::_SetLeadBytes(int codePage)
{
    // Lines mostly keep the code page of the line before; look it up only when it changes.
    if (codePage != m_leadBytesCodePage) {
        m_leadBytesCodePage = codePage;
        m_isDoubleByte = m_decoder.LeadBytes(codePage, m_leadBytes);
    }
    m_text.SetLeadBytes(m_isDoubleByte ? m_leadBytes : nullptr);
}

void CCardReader::_DecideValueCodePage(size_t point)
{
    if (!m_valueCodePagePending)
        return;
    m_valueCodePagePending = false;
    const std::string& line = m_text.Line();
    if (point < line.size() && IsNonAsciiUtf8(line.data() + point, line.size() - point)) {
        m_decoder.SetCodePage(kUtf8CodePage);
        m_text.SetLeadBytes(nullptr);
    }
}

bool CCardReader::_StoreText(const std::string& bytes, std::wstring* field)
{
    if (bytes.empty())
        return false;
    if (m_decoder.ToWide(bytes, &m_valueText) <= 0)
        return false;
    field->assign(m_valueText);
    return true;
}

size_t CCardReader::_TakeComponent(size_t point, std::wstring* field)
{
    _DecideValueCodePage(point);
    size_t next = m_text.TakeComponent(point, &m_valueBytes);
    _StoreText(m_valueBytes, field);
    return next;
}

void CCardReader::_TakeRemainder(size_t point, std::wstring* field, bool structured)
{
    if (_TakeRemainderBytes(point, &m_valueBytes, structured))
        _StoreText(m_valueBytes, field);
}

bool CCardReader::_TakeRemainderBytes(size_t point, std::string* bytes, bool structured)
{
    _DecideValueCodePage(point);
    m_text.TakeRemainder(point, bytes, structured);
    return !bytes->empty();
}

void CCardReader::_DecodeQuotedPrintable()
{
    std::string value;
    std::vector<bool> encoded;
    if (!m_text.ReadEncodedValue(&value, &encoded) && m_reports)
        m_reports->ReportInvalidElement();
    m_text.SetLine(value, true, encoded);
}

bool CCardReader::_ReadValue(CParams* params, bool alwaysDecode)
{
    if (!m_text.ReadParameters(params))
        return false;
    if (params->base64) {
        // A text written in base64 (some phones write every non-ASCII text so): its bytes are
        // the text, in the line's charset. One that does not decode is taken as written.
        std::string value;
        if (m_text.ReadBase64Value(&value))
            m_text.SetLiteralLine(value);
        else if (m_reports)
            m_reports->ReportInvalidElement();
    } else if (params->quotedPrintable || alwaysDecode) {
        _DecodeQuotedPrintable();
    }
    return true;
}

// Dispatch and handlers

struct CCardReader::CHandler {
    const char* name;
    void (CCardReader::*handle)();
    bool stores;  // it fills a field of the card
};

// The first name that matches wins; names that match none are ignored. VERSION and END are the
// card structure's (CvCardText::NextStep).
const CCardReader::CHandler* CCardReader::_FindHandler(const std::string& name)
{
    static const CHandler kHandlers[] = {
        {"PRODID", &CCardReader::_OnProdId, false},
        {"N", &CCardReader::_OnN, true},
        {"FN", &CCardReader::_OnDisplayName, true},
        {"NICKNAME", &CCardReader::_OnNickname, true},
        {"ROLE", &CCardReader::_OnNotStoredWithParameters, false},
        {"ORG", &CCardReader::_OnOrg, true},
        {"BDAY", &CCardReader::_OnBirthday, true},
        {"ADR", &CCardReader::_OnAdr, true},
        {"TEL", &CCardReader::_OnTel, true},
        {"EMAIL", &CCardReader::_OnEmail, true},
        {"TITLE", &CCardReader::_OnJobTitle, true},
        {"NOTE", &CCardReader::_OnNote, true},
        {"X-OUTL-SPOUSE", &CCardReader::_OnSpouse, true},
        {"X-OUTL-ANNIVERSARY", &CCardReader::_OnAnniversary, true},
        {"X-OUTL-NMSERVER", &CCardReader::_OnNmServer, true},
        {"X-OUTL-GENDER", &CCardReader::_OnGender, true},
        {"X-OUTL-CHILDREN", &CCardReader::_OnChildren, true},
        {"KEY", &CCardReader::_OnKey, true},
        // A group's own card, as vCard 4.0 and Apple's 3.0 cards say it.
        {"KIND", &CCardReader::_OnKind, true},
        {"X-ADDRESSBOOKSERVER-KIND", &CCardReader::_OnKind, true},
        {"MEMBER", &CCardReader::_OnMember, true},
        {"X-ADDRESSBOOKSERVER-MEMBER", &CCardReader::_OnMember, true},
        {"CATEGORIES", &CCardReader::_OnCategories, true},
        {"X-OUTL-CATEGORIES", &CCardReader::_OnCategories, true},
        // The assistant's and the manager's names under Outlook's, Evolution's and KDE's names.
        {"X-OUTL-ASSISTANTNAME", &CCardReader::_OnAssistant, true},
        {"X-MS-ASSISTANT", &CCardReader::_OnAssistant, true},
        {"X-EVOLUTION-ASSISTANT", &CCardReader::_OnAssistant, true},
        {"X-ASSISTANT", &CCardReader::_OnAssistant, true},
        {"X-KADDRESSBOOK-X-ASSISTANTSNAME", &CCardReader::_OnAssistant, true},
        {"X-OUTL-MANAGERNAME", &CCardReader::_OnManager, true},
        {"X-MS-MANAGER", &CCardReader::_OnManager, true},
        {"X-EVOLUTION-MANAGER", &CCardReader::_OnManager, true},
        {"X-MANAGER", &CCardReader::_OnManager, true},
        {"X-KADDRESSBOOK-X-MANAGERSNAME", &CCardReader::_OnManager, true},
        {"URL", &CCardReader::_OnUrl, true},
    };
    static const CHandler kSkype = {"X-SKYPE-", &CCardReader::_OnSkype, false};
    for (const CHandler& h : kHandlers) {
        if (name == h.name)
            return &h;
    }
    if (name.compare(0, 8, "X-SKYPE-") == 0)
        return &kSkype;
    return nullptr;
}

bool CCardReader::PropertyIsStored() const
{
    const CHandler* h = _FindHandler(m_text.Name());
    return h && h->stores;
}

void CCardReader::DispatchProperty()
{
    if (const CHandler* h = _FindHandler(m_text.Name()))
        (this->*h->handle)();
}

void CCardReader::_OnProdId()
{
    // Our own 3.0 cards hold every value exactly as the contact did (blanks at the ends too);
    // other writers' blanks are trimmed as ever.
    if (m_text.RestStartsWith(":-//Brisco Corporation//Quillon ") && m_text.Format() == CvCardText::kFormat30)
        m_text.SetExactValues(true);
}

void CCardReader::_OnSkype() { m_skypeSeen = true; }
void CCardReader::_OnDisplayName() { _OnSingleText(&m_card.displayName); }
void CCardReader::_OnNickname() { _OnSingleText(&m_card.nickname); }
void CCardReader::_OnJobTitle() { _OnSingleText(&m_card.title); }
void CCardReader::_OnNote() { _OnSingleText(&m_card.comment); }
void CCardReader::_OnAssistant() { _OnSingleText(&m_card.assistant); }
void CCardReader::_OnManager() { _OnSingleText(&m_card.manager); }
void CCardReader::_OnBirthday() { _OnDate(&m_card.birthday); }
void CCardReader::_OnAnniversary() { _OnDate(&m_card.anniversary); }

void CCardReader::_OnN()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    size_t p = m_text.Pos();
    p = _TakeComponent(p, &m_card.surname);
    p = _TakeComponent(p, &m_card.givenName);
    p = _TakeComponent(p, &m_card.middleName);
    p = _TakeComponent(p, &m_card.namePrefix);
    _TakeRemainder(p, &m_card.nameSuffix, true);
}

void CCardReader::_OnSingleText(std::wstring* field)
{
    if (!field->empty())
        return;
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    _TakeRemainder(m_text.Pos(), field);
}

void CCardReader::_OnNotStoredWithParameters()
{
    // Read only as far as a quoted-printable value that does not decode is told of.
    CParams params;
    if (m_text.ReadParameters(&params) && params.quotedPrintable)
        _DecodeQuotedPrintable();
}

void CCardReader::_OnOrg()
{
    if (!m_card.company.empty() || !m_card.department.empty())
        return;
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    size_t p = _TakeComponent(m_text.Pos(), &m_card.company);
    _TakeRemainder(p, &m_card.department, true);
}

void CCardReader::_OnAdr()
{
    CParams params;
    // Addresses of vCard 2.1 are decoded whether or not they say so (some writers forget the
    // parameter); vCard 3.0 has no quoted-printable, so there only a marked value is decoded.
    if (!_ReadValue(&params, m_text.Format() != CvCardText::kFormat30))
        return;
    const auto empty = [](const std::wstring* block) {
        for (int i = 0; i < CContactRecord::kAddressParts; ++i) {
            if (!block[i].empty())
                return false;
        }
        return true;
    };
    // An address of neither kind is the business one, as it always was, while that is free; a
    // postal or other one, or an untyped one beside a business address, is the other address.
    bool work = params.Has(kParamWork);
    bool home = params.Has(kParamHome);
    bool other = false;
    if (!work && !home) {
        work = !params.Has(kParamPostal | kParamOther) && empty(m_card.business);
        other = !work;
    }
    std::wstring* blocks[3] = {work ? m_card.business : nullptr, home ? m_card.home : nullptr,
                               other ? m_card.other : nullptr};
    bool stored = false;
    for (std::wstring* block : blocks) {
        if (!block || !empty(block))
            continue;
        stored = true;
        size_t p = m_text.Pos();
        for (int i = 0; i < CContactRecord::kCountry; ++i)
            p = _TakeComponent(p, &block[i]);
        _TakeRemainder(p, &block[CContactRecord::kCountry], true);
        // The home and other addresses have no extended part in the address book: it goes
        // before the street, on a line of its own, rather than be lost.
        if (block != m_card.business && !block[CContactRecord::kExtended].empty()) {
            std::wstring& street = block[CContactRecord::kStreet];
            street = street.empty() ? block[CContactRecord::kExtended]
                                    : block[CContactRecord::kExtended] + L"\r\n" + street;
            block[CContactRecord::kExtended].clear();
        }
    }
    std::wstring text;
    if (!stored && m_text.Pos() < m_text.Line().size() && _StoreText(m_text.Line().substr(m_text.Pos()), &text))
        _NoteDropped(text);
}

void CCardReader::_OnTel()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    std::string bytes;
    if (!_TakeRemainderBytes(m_text.Pos(), &bytes))
        return;
    // A number given as a URI (vCard 4.0) is the part behind "tel:".
    if (params.valueUri && vcard::StartsWithNoCase(bytes.data(), bytes.size(), "tel:"))
        bytes.erase(0, 4);
    std::wstring number;
    if (!_StoreText(bytes, &number))
        return;

    CContactRecord& c = m_card;
    const bool fax = params.Has(kParamFax);
    bool work = params.Has(kParamWork);
    const bool home = params.Has(kParamHome);
    const bool cell = params.Has(kParamCell);
    const bool pager = params.Has(kParamPager);
    if (fax || work || home || cell || pager) {
        // The first table's kinds: each type word fills its own field, so a number of two kinds
        // is both. A second business or home telephone is the second of its kind; a fax of no
        // kind is the business one while that is free, else the other fax.
        const uint32_t others = kParamWork | kParamHome | kParamCell | kParamCar | kParamPager |
                                kParamIsdn | kParamPref | kParamVoice;
        bool stored = false;
        const auto fill = [&](std::initializer_list<std::wstring*> fields) {
            for (std::wstring* field : fields) {
                if (field->empty()) {
                    *field = number;
                    stored = true;
                    return true;
                }
            }
            return false;
        };
        if (fax && !work && !home && (params.Has(kParamOther) || !c.businessFax.empty()))
            fill({&c.otherFax});
        else if (fax && !params.Has(others))
            work = true;
        if (work && (!fax || !fill({&c.businessFax})))
            fill({&c.businessPhone, &c.business2Phone});
        if (home && (!fax || !fill({&c.homeFax})))
            fill({&c.homePhone, &c.home2Phone});
        if (cell)
            fill({&c.mobilePhone});
        if (pager)
            fill({&c.pager});
        if (!stored)
            _NoteDropped(number);
        return;
    }
    // The further kinds by their type words; a number of no kind the address book knows (no type,
    // VOICE, OTHER, MSG, ...) is its other telephone.
    const std::pair<uint32_t, std::wstring*> kinds[] = {
        {kParamCar, &c.carPhone},           {kParamIsdn, &c.isdnNumber},
        {kParamAssistant, &c.assistantPhone}, {kParamMain, &c.companyMainPhone},
        {kParamCallback, &c.callbackPhone}, {kParamRadio, &c.radioPhone},
        {kParamTelex, &c.telexNumber},      {kParamTextphone, &c.ttyTddPhone},
    };
    for (const auto& kind : kinds) {
        if (params.Has(kind.first)) {
            _Fill({kind.second}, number);
            return;
        }
    }
    if (params.Has(kParamPref))
        _Fill({&c.primaryPhone, &c.otherPhone}, number);
    else
        _Fill({&c.otherPhone}, number);
}

void CCardReader::_Fill(std::initializer_list<std::wstring*> fields, const std::wstring& value)
{
    for (std::wstring* field : fields) {
        if (field->empty()) {
            *field = value;
            return;
        }
    }
    _NoteDropped(value);
}

void CCardReader::_NoteDropped(const std::wstring& value)
{
    if (m_dropped++ == 0)
        m_firstDropped = std::wstring(m_text.Name().begin(), m_text.Name().end()) + L" \"" + value + L"\"";
}

void CCardReader::_OnKey()
{
    CParams params;
    if (!m_text.ReadParameters(&params) || params.Has(kParamPgp))
        return;
    // A Digital ID: base64 after ENCODING=b or BASE64, or a data URI of vCard 4.0.
    std::string certificate;
    if (params.base64) {
        if (!m_text.ReadBase64Value(&certificate, true) && m_reports)
            m_reports->ReportInvalidElement();
    } else {
        std::string uri = m_text.Line().substr(m_text.Pos());
        size_t comma = uri.find(";base64,");
        if (vcard::StartsWithNoCase(uri.data(), uri.size(), "data:") && comma != std::string::npos &&
            !DecodeBase64(uri.data() + comma + 8, uri.size() - comma - 8, &certificate, true))
            certificate.clear();
    }
    // Only a certificate (an encoded sequence) is a Digital ID; a key of another kind is not one.
    if (!certificate.empty() && static_cast<unsigned char>(certificate[0]) == 0x30)
        m_card.certificates.push_back(certificate);
}

void CCardReader::_OnKind()
{
    CParams params;
    if (!m_text.ReadParameters(&params))
        return;
    std::string value = m_text.Line().substr(m_text.Pos());
    const char* b = value.data();
    const char* e = b + value.size();
    TrimRange(&b, &e);
    m_card.isGroup = e - b == 5 && StartsWithNoCase(b, 5, "group");
}

void CCardReader::_OnMember()
{
    // Only an address is a member a group can keep; one named by a card's identifier (urn:uuid)
    // is a contact, which its own card's CATEGORIES put into the group.
    // The parameters as written, before the value is decoded: up to the first ':' outside quotes.
    const std::string line = m_text.Line();
    size_t headEnd = m_text.Pos();
    for (bool quoted = false; headEnd < line.size() && (quoted || line[headEnd] != ':'); ++headEnd)
        quoted = line[headEnd] == '"' ? !quoted : quoted;
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    std::string value = m_text.Line().substr(m_text.Pos());
    if (!StartsWithNoCase(value.data(), value.size(), "mailto:"))
        return;
    std::wstring address, name;
    if (!_StoreText(value.substr(7), &address))
        return;
    // The name from the X-CN parameter of the head (quoted or not).
    std::string head = line.substr(0, headEnd < line.size() ? headEnd : line.size());
    std::string upper(head);
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    size_t at = upper.find(";X-CN=");
    if (at != std::string::npos) {
        at += 6;
        size_t end = head[at] == '"' ? head.find('"', at + 1) : head.find_first_of(";:", at);
        size_t begin = head[at] == '"' ? at + 1 : at;
        if (end == std::string::npos)
            end = head.size();
        _StoreText(head.substr(begin, end > begin ? end - begin : 0), &name);
    }
    m_card.oneOffNames.push_back(TrimBlanks(name));
    m_card.oneOffAddresses.push_back(TrimBlanks(address));
}

void CCardReader::_OnCategories()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    // Names are separated by commas; a separator inside a name is escaped with a backslash. The
    // value is split before it is unescaped, and on characters, where no second byte of a
    // double-byte character can pass for a backslash.
    const size_t point = m_text.Pos();
    _DecideValueCodePage(point);
    std::wstring all;
    if (point >= m_text.Line().size() || !_StoreText(m_text.Line().substr(point), &all))
        return;
    std::wstring name;
    for (size_t i = 0; i <= all.size(); ++i) {
        if (i == all.size() || all[i] == L',') {
            name = TrimBlanks(name);
            if (!name.empty() && std::find(m_card.groups.begin(), m_card.groups.end(), name) == m_card.groups.end())
                m_card.groups.push_back(name);
            name.clear();
        } else if (all[i] == L'\\' && i + 1 < all.size() &&
                   (all[i + 1] == L',' || all[i + 1] == L';' || all[i + 1] == L'\\')) {
            name.push_back(all[++i]);
        } else if (all[i] == L'\\' && i + 1 < all.size() && m_text.Format() == CvCardText::kFormat30 &&
                   (all[i + 1] == L'n' || all[i + 1] == L'N')) {
            name += L"\r\n";
            ++i;
        } else {
            name.push_back(all[i]);
        }
    }
}

void CCardReader::_OnEmail()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    bool internet = params.Has(kParamInternet);
    if (!internet && !params.otherType)
        internet = true;
    std::wstring address;
    _TakeRemainder(m_text.Pos(), &address);
    if (address.empty())
        return;
    std::wstring type = internet ? L"SMTP" : L"";
    if (params.Has(kParamPref)) {
        m_preferredEmails.push_back(address);
        m_preferredTypes.push_back(type);
    } else {
        m_card.emails.push_back(address);
        m_card.emailTypes.push_back(type);
    }
}

void CCardReader::_OnUrl()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    std::wstring url;
    _TakeRemainder(m_text.Pos(), &url);
    if (url.empty())
        return;
    bool home = params.Has(kParamHome);
    if (params.Has(kParamWork) || !home)
        m_card.businessHomePage = url;
    if (home)
        m_card.personalHomePage = url;
}

// Handlers of single values read whatever parameters the line carries (our own exports write
// CHARSET on every line) up to the ':' that starts the value, and decode the value as they say.
void CCardReader::_OnDate(CContactDate* field)
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    std::string text = m_text.Line().substr(m_text.Pos());
    unsigned short year = 0, month = 0, day = 0;
    int read = text.find('-') != std::string::npos
                   ? std::sscanf(text.c_str(), "%hu-%hu-%hu", &year, &month, &day)
                   : std::sscanf(text.c_str(), "%4hu%2hu%2hu", &year, &month, &day);
    if (read != 3)
        return;
    uint64_t fileTime = 0;
    // A date the system rejects (month 13) leaves the field as it was.
    // 1601-01-01, the file time 0, counts as no date.
    if (FileTimeFromDate(year, month, day, &fileTime))
        *field = {fileTime != 0, fileTime};
}

// The Outlook extensions are written quoted-printable in vCard 2.1 when they hold a line break;
// such a value is decoded like any other that says so.
void CCardReader::_OnSpouse()
{
    CParams params;
    if (!m_card.spouse.empty() || !_ReadValue(&params, false))
        return;
    _TakeRemainder(m_text.Pos(), &m_card.spouse);
}

void CCardReader::_OnNmServer()
{
    CParams params;
    if (!_ReadValue(&params, false))
        return;
    std::string bytes;
    std::wstring server;
    if (_TakeRemainderBytes(m_text.Pos(), &bytes))
        _StoreText(bytes, &server);
    m_card.conferencingServers.push_back(server);
}

void CCardReader::_OnGender()
{
    CParams params;
    if (m_card.gender != 0 || !_ReadValue(&params, false))
        return;
    std::string bytes;
    if (!_TakeRemainderBytes(m_text.Pos(), &bytes))
        return;
    long value = std::strtol(bytes.c_str(), nullptr, 10);
    m_card.gender = static_cast<short>(static_cast<uint16_t>(value));
    m_card.hasGender = m_card.gender != 0;
}

void CCardReader::_OnChildren()
{
    CParams params;
    if (!m_card.children.empty() || !_ReadValue(&params, false))
        return;
    std::wstring all;
    _TakeRemainder(m_text.Pos(), &all);
    // Names are separated by commas; a comma (or backslash) inside a name is escaped with a
    // backslash, which is split and unescaped here, on characters, where no second byte of a
    // double-byte character can pass for one.
    std::wstring child;
    for (size_t i = 0; i <= all.size(); ++i) {
        if (i == all.size() || all[i] == L',') {
            child = TrimBlanks(child);
            if (!child.empty())
                m_card.children.push_back(child);
            child.clear();
            continue;
        }
        if (all[i] == L'\\' && i + 1 < all.size() && (all[i + 1] == L',' || all[i + 1] == L'\\'))
            ++i;
        child.push_back(all[i]);
    }
}

// ---------------------------------------------------------------------------------------------
// Skype's export

void CCardReader::ApplySkypeFixes()
{
    CContactRecord& c = m_card;
    // Skype puts the whole name into N's first part beside FN.
    if (!c.displayName.empty() && !c.surname.empty() && c.givenName.empty() &&
        c.middleName.empty() && c.namePrefix.empty() && c.nameSuffix.empty())
        c.surname.clear();

    // ... and several addresses into one EMAIL, separated by blanks.
    if (c.emails.size() == 1 && !c.emails[0].empty()) {
        std::wstring all = c.emails[0];
        std::wstring type = c.emailTypes.empty() ? std::wstring() : c.emailTypes[0];
        c.emails.clear();
        c.emailTypes.clear();
        size_t start = 0;
        while (start <= all.size()) {
            size_t blank = all.find(L' ', start);
            if (blank == std::wstring::npos)
                blank = all.size();
            std::wstring piece = TrimBlanks(all.substr(start, blank - start));
            if (!piece.empty()) {
                c.emails.push_back(piece);
                c.emailTypes.push_back(type);
            }
            start = blank + 1;
        }
    }
}

}  // namespace vcard
