// The import's property mapping without the address book: CCardReader walks a loaded text card by
// card and maps each property line onto the fields of the current card (CContactRecord). Which code
// page turns a value's bytes into characters is asked of an ITextDecoder, and the few events the
// user or the log must hear of go to an ICardReports, so the same mapping runs in Quillon (over the
// character converter, with message boxes and log lines) and on a build host (over iconv, under
// sanitizers and a fuzzer that writes cards and reads them back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "codec/ContactRecord.h"
#include "codec/vcard/vCardText.h"

namespace vcard {

// The system's ANSI code page (written without a charset name), and UTF-8.
const int kAnsiCodePage = -1;
const int kUtf8CodePage = 65001;

// A calendar date (midnight UTC) as a file time, with SystemTimeToFileTime's checks: false for a
// year outside 1601-30827, a month outside 1-12 or a day the month lacks.
bool FileTimeFromDate(int year, int month, int day, uint64_t* fileTime);

// A text without the blanks the reader trims from its ends (space, tab, CR, LF, VT, FF); the
// import compares children's names the same way.
std::wstring TrimBlanks(const std::wstring& s);

// Turns the bytes of values into UTF-16 in the code page in force.
class ITextDecoder {
public:
    virtual ~ITextDecoder() = default;
    // Code page a CHARSET parameter names; 0 or less when it names none we know.
    virtual int CodePageByCharset(const char* name) const = 0;
    // The code page ToWide converts from from now on (kAnsiCodePage: the system's).
    virtual void SetCodePage(int codePage) = 0;
    // The characters of the bytes; their count, or 0 or less when nothing came out.
    virtual int ToWide(const std::string& bytes, std::wstring* text) const = 0;
    // True, and 256 flags of its lead bytes, when codePage is a double-byte one.
    virtual bool LeadBytes(int codePage, bool* leadBytes) const = 0;
};

// What the reader meets that the log or the user must hear of; the reading goes on either way.
class ICardReports {
public:
    virtual ~ICardReports() = default;
    // A value marked quoted-printable or base64 that does not decode (the raw text is taken).
    virtual void ReportInvalidElement() = 0;
    // The current line, of a property the card stores, was cut to CvCardText::kMaxLineBytes.
    virtual void ReportLineCut() = 0;
    // The card just read had skipped lines past its limits.
    virtual void ReportCardCut(size_t skipped) = 0;
    // The card just read gave count values of kinds whose fields it had filled already: the first
    // values were kept, these not stored. first: the first of them, its property and value.
    virtual void ReportValuesDropped(size_t count, const std::wstring& first) = 0;
};

class CCardReader {
public:
    // Called at every END:VCARD, after the Skype fixes, with the card complete in Card(). A
    // negative result stops the reading (ReadAllCards then gives -1). A card inside a card is
    // handed over at its own END:VCARD, before the card around it.
    using CardSink = std::function<int()>;

    // What keeps a hostile card from costing more memory than a real one: a card keeps the
    // values of at most this many bytes of the properties it stores; its further properties of
    // that kind are stepped over (and reported), and the card counts as cut. Properties it does
    // not store (pictures, sounds, keys, ...) cost only their reading and count nothing. Real
    // cards hold a few kilobytes. Time is bounded by every handler's work being in proportion to
    // its line, so a card of millions of short lines costs no more than their bytes.
    static const size_t kMaxCardBytes = 8 * 1024 * 1024;

    // reports may be null: then nobody hears.
    explicit CCardReader(ITextDecoder& decoder, ICardReports* reports = nullptr)
        : m_decoder(decoder), m_reports(reports) {}
    CCardReader(const CCardReader&) = delete;
    CCardReader& operator=(const CCardReader&) = delete;

    // The card loop over the loaded text (Text().Load): every card is read into Card() and handed
    // to sink. 0 at the end of the text, -1 when the sink asked to stop. Memory running out
    // throws std::bad_alloc.
    int ReadAllCards(const CardSink& sink);
    // What the last ReadAllCards met: complete cards, whether the text ended inside a card (which
    // is dropped, as are the cards around it), cards stepped over for lying deeper inside cards
    // than CvCardText::kMaxCardDepth, and whether the card handed to the sink lost a value it
    // would have stored to the limits above.
    size_t CardsRead() const { return m_cardsRead; }
    bool TextEndedInCard() const { return m_textEndedInCard; }
    size_t CardsTooDeep() const { return m_text.CardsTooDeep(); }
    bool CardCut() const { return m_cardCut; }

    // Hands the current property line to its handler (or to none).
    void DispatchProperty();
    // True when the current property's handler stores something in the card.
    bool PropertyIsStored() const;
    void ResetCard();
    void ApplySkypeFixes();

    const CContactRecord& Card() const { return m_card; }
    int FormatCode() const { return m_text.Format(); }
    // The card's name for messages: its display name, else its name parts and company.
    std::wstring CardName() const;

    CvCardText& Text() { return m_text; }

private:
    CvCardText m_text;
    CContactRecord m_card;
    // The state of a card that is open while a card inside it is read.
    struct COpenCard {
        CContactRecord card;
        std::vector<std::wstring> preferredEmails;
        std::vector<std::wstring> preferredTypes;
        bool skypeSeen = false;
        bool exactValues = false;
        size_t storedBytes = 0;
        size_t skipped = 0;
        size_t dropped = 0;
        std::wstring firstDropped;
        bool cut = false;
    };
    // A property name's handler (CardReader.cpp).
    struct CHandler;
    static const CHandler* _FindHandler(const std::string& name);
    // Empties the card's fields and counters; the format is the text's.
    void _StartCard();
    void _OnProperty();
    // At END:VCARD: the preferred addresses go in front, then the Skype fixes.
    void _CompleteCard();

    // Where property values become characters.
    void _SetCodePageForLine();
    void _SetLeadBytes(int codePage);
    void _DecideValueCodePage(size_t point);
    bool _StoreText(const std::string& bytes, std::wstring* field);
    size_t _TakeComponent(size_t point, std::wstring* field);
    // structured: the rest of an N, ORG or ADR value, unescaped as its components are.
    void _TakeRemainder(size_t point, std::wstring* field, bool structured = false);
    bool _TakeRemainderBytes(size_t point, std::string* bytes, bool structured = false);

    // Parameters and the value behind them, quoted-printable or base64 decoded; false when the
    // line is to be ignored. alwaysDecode: quoted-printable even when unmarked (ADR of 2.1).
    bool _ReadValue(CParams* params, bool alwaysDecode);
    void _DecodeQuotedPrintable();

    void _OnProdId();
    void _OnSkype();
    void _OnDisplayName();
    void _OnNickname();
    void _OnJobTitle();
    void _OnNote();
    void _OnBirthday();
    void _OnAnniversary();
    void _OnN();
    void _OnSingleText(std::wstring* field);
    void _OnNotStoredWithParameters();
    void _OnOrg();
    void _OnAdr();
    void _OnTel();
    void _OnKey();
    void _OnKind();
    void _OnMember();
    void _OnCategories();
    void _OnAssistant();
    void _OnManager();
    // Puts value into the first empty field of the list; reported when none is left.
    void _Fill(std::initializer_list<std::wstring*> fields, const std::wstring& value);
    void _NoteDropped(const std::wstring& value);
    void _OnEmail();
    void _OnUrl();
    void _OnDate(CContactDate* field);
    void _OnSpouse();
    void _OnNmServer();
    void _OnGender();
    void _OnChildren();

    ITextDecoder& m_decoder;
    ICardReports* m_reports;
    bool m_skypeSeen = false;
    bool m_valueCodePagePending = false;
    // The code page of the last line and, when it is a double-byte one, its lead bytes.
    int m_leadBytesCodePage = 0;
    bool m_isDoubleByte = false;
    bool m_leadBytes[256] = {};
    size_t m_cardsRead = 0;
    bool m_textEndedInCard = false;
    // The card being read: its preferred e-mail addresses (put in front at its end, so that many
    // of them cost no more than many plain ones), what it stored, and what it lost.
    std::vector<std::wstring> m_preferredEmails;
    std::vector<std::wstring> m_preferredTypes;
    size_t m_storedBytes = 0;
    size_t m_skipped = 0;
    size_t m_dropped = 0;
    std::wstring m_firstDropped;
    bool m_cardCut = false;
    // The cards around it, innermost last.
    std::vector<COpenCard> m_outer;
    // A value's bytes and characters on their way into a field. Kept from value to value, as the
    // card's fields keep theirs, so that a card's texts cost no allocation once a few were read.
    std::string m_valueBytes;
    std::wstring m_valueText;
};

}  // namespace vcard
