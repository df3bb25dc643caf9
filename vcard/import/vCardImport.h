// Import of vCard files into an address-book folder: the reader that turns a file into cards, the
// handlers that map each property line onto the fields of the current card, and AddContact, which
// writes a card as a new contact. The byte-level text work is CvCardText's (vCardText.h); this
// class decides code pages, turns bytes into the card's UTF-16 fields and talks to the address
// book.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "vcard/import/EqualContactIndex.h"
#include "vcard/import/vCardText.h"
#include "wab/WABLib.h"

// The fields of the card being read, cleared at every card start. Texts are UTF-16; "empty" means
// length 0. Dates are FILETIMEs, 0 when the card gave none.
struct CImportCard {
    // The seven parts of an ADR value, in vCard order.
    enum AddressPart { kPoBox, kExtended, kStreet, kLocality, kRegion, kPostalCode, kCountry,
                       kAddressParts };

    std::wstring givenName;
    std::wstring middleName;
    std::wstring familyName;
    std::wstring namePrefix;
    std::wstring nameSuffix;
    std::wstring displayName;
    std::wstring nickname;
    std::wstring company;
    std::wstring department;
    std::wstring jobTitle;
    std::wstring note;
    FILETIME birthday = {0, 0};
    std::wstring business[kAddressParts];
    std::wstring home[kAddressParts];
    std::wstring businessPhone;
    std::wstring businessFax;
    std::wstring homePhone;
    std::wstring homeFax;
    std::wstring mobilePhone;
    std::wstring pager;
    std::vector<std::wstring> emails;
    std::vector<std::wstring> emailTypes;
    std::wstring businessWebPage;
    std::wstring personalWebPage;
    std::wstring spouse;
    FILETIME anniversary = {0, 0};
    std::vector<std::wstring> conferencingServers;
    USHORT gender = 0;
    std::vector<std::wstring> children;
};

class CContact;
class CDlgProgress;

class CvCardImport {
public:
    // Called by ReadCards at every END:VCARD, after the Skype fixes, with the card complete in
    // Card(). A negative result stops the reading of the file (ReadCards then gives -1).
    using CardSink = std::function<int()>;

    CvCardImport();
    virtual ~CvCardImport();
    CvCardImport(const CvCardImport&) = delete;
    CvCardImport& operator=(const CvCardImport&) = delete;

    // Conflict modes: what happens to a card whose names and company match a contact of the
    // target folder that differs in other fields.
    enum ConflictMode { kDuplicate = 0, kReplace = 1, kLeaveOld = 2 };

    // Shows the import dialog owned by owner and, on OK, imports the folder's vCard files.
    // selection is null when the program was started without selected contacts. Always 0.
    int Execute(HWND owner, const CSelectionList* selection);

    // Imports every *.vcf file of sourceFolder into targetFolder: a counting pass, a pass that
    // stores the cards under a progress window, and one summary message.
    void RunImport(const char* sourceFolder, const char* targetFolder, int conflictMode);
    // Reads one file and stores its cards: 0 to go on with the next file, negative to stop.
    // A path in the ANSI code page, or in UTF-16 (names in any script).
    int ImportFile(const char* path);
    int ImportFile(const std::wstring& path);
    // Stores the current card as the conflict mode says: 0 when stored or skipped,
    // MAPI_W_ERRORS_RETURNED when stored without some of its properties, else the failure
    // (negative).
    HRESULT putContactItem();
    // Looks in the target folder for a contact with the card's names and company. 1: none;
    // 0: *entryId is the match and *differs tells whether its other fields differ (set on entry
    // means "take the first match without comparing"); anything else: the failure.
    HRESULT FindEqualContact(std::string* entryId, bool* differs);
    // True when the contact agrees with every non-empty field of the card (names excepted).
    bool IsContactEqual(IMAPIProp* item);

    // The run reads the target folder once into an index of names (RunImport does this itself)
    // and answers FindEqualContact from it; without one, each search is a restriction query.
    // A failure to build it is logged and leaves the run on the queries.
    HRESULT IndexTargetFolder();
    void DropIndex() { m_index.Clear(); }
    bool HasIndex() const { return m_index.IsLoaded(); }
    // The target folder's contacts whose names and company match the card, in table order:
    // from the index (when it can answer) or from the restriction query.
    HRESULT EqualCandidates(bool fromIndex, std::vector<std::string>* ids);

    // Counters of the last run.
    int Total() const { return m_total; }
    int Imported() const { return m_imported; }
    int Failed() const { return m_failed; }
    int Rest() const { return m_rest; }
    // Cards stored without some of their properties (counted as imported too).
    int Incomplete() const { return m_incomplete; }

    // The import's context: owner of the reader's message box, the address-book folder that
    // receives the contacts, and the file being read (named in messages).
    void SetOwner(HWND owner) { m_owner = owner; }
    void SetTargetFolder(const std::string& folderId) { m_targetFolder = folderId; }
    void SetConflictMode(int mode) { m_conflictMode = mode; }
    void SetCurrentFilePath(const std::wstring& path);

    // Limits that keep a hostile file from costing more than a real one. A file is read whole,
    // and its text is held twice at most while it is prepared: a larger file is not read. A card
    // is read up to this many property lines or bytes of them; the rest of it is stepped over
    // (and logged), and the card is stored as not wholly imported. Real cards hold dozens of
    // lines and a few kilobytes.
    static const LONGLONG kMaxFileBytes = 128LL * 1024 * 1024;
    static const size_t kMaxCardProperties = 10000;
    static const size_t kMaxCardBytes = 8 * 1024 * 1024;

    // Reads an open file (one read, one buffer) into the file text and closes the handle. A file
    // whose size cannot be taken, that is larger than kMaxFileBytes or that cannot be read is
    // read as empty: the result is then the failure, and *why (may be null) says what failed.
    // Nothing is logged here: the counting pass and the import pass both load every file, and
    // the import pass logs.
    HRESULT LoadFileText(HANDLE file, std::string* why = nullptr);
    // Reads an open file as LoadFileText does, into bytes, without closing it.
    static HRESULT ReadFileBytes(HANDLE file, std::string* bytes, std::string* why);
    // The same from bytes already in memory.
    void LoadText(const char* bytes, size_t size);
    void FreeFileText();

    // Number of complete cards in a file; 0 (and no message) when it cannot be opened.
    int CountCards(const char* path);
    int CountCards(const std::wstring& path);

    // The run's counting pass keeps the bytes of the files it read, up to kMaxKeptBytes in all,
    // and the import pass takes a file's bytes from there when the file is still the same (size
    // and time of its last write): each file is read once. The counting pass only splits lines
    // and finds card ends; what a card means is worked out once, in the import pass.
    static const size_t kMaxKeptBytes = 64 * 1024 * 1024;

    // The card loop over the loaded text: every card is read into Card() and handed to sink.
    // 0 at the end of the text, -1 when the sink asked to stop (or memory ran out).
    int ReadCards(const CardSink& sink);
    // What the last ReadCards met: complete cards, whether the text ended inside a card (which
    // is dropped), and whether the card handed to the sink was cut by the limits above.
    size_t CardsRead() const { return m_cardsRead; }
    bool TextEndedInCard() const { return m_textEndedInCard; }
    bool CardCut() const { return m_cardCut; }

    // For tests: called in the import pass with each file's path right before it is opened, so
    // that a test can change the folder while the run reads it. The path is in UTF-8.
    using FileHook = std::function<void(const char* path)>;
    void SetBeforeReadHook(const FileHook& hook) { m_beforeRead = hook; }

    // Reader operations the card loop is made of.
    bool FindNextCard();
    bool ReadProperty();
    // Hands the current property line to its handler (or to none).
    void DispatchProperty();

    void ResetCard();
    void ApplySkypeFixes();
    // Writes the card as a new contact of the target folder and saves it; 0, the failure, or
    // MAPI_W_ERRORS_RETURNED when the contact was saved without properties the address book
    // refused (each logged with the contact's name).
    HRESULT AddContact();

    const CImportCard& Card() const { return m_card; }
    int FormatCode() const { return m_text.Format(); }
    bool SkypeSeen() const { return m_skypeSeen; }

    // The two message boxes of the import run that concern files (owner: SetOwner's window).
    // No *.vcf file in the source folder (string 117).
    void ShowNoFilesMessage() const;
    // A file that cannot be opened (its path, then string 118); true when the user chose OK
    // (go on with the next file), false for Cancel.
    bool ShowCannotOpenMessage(const char* path) const;

private:
    int _ReadCards(const CardSink& sink);

    // Where property values become characters.
    void _SetCodePageForLine();
    void _SetLeadBytes(int codePage);
    void _DecideValueCodePage(size_t point);
    bool _StoreText(const std::string& bytes, std::wstring* field);
    size_t _TakeComponent(size_t point, std::wstring* field);
    // structured: the rest of an N, ORG or ADR value, unescaped as its components are.
    void _TakeRemainder(size_t point, std::wstring* field, bool structured = false);
    bool _TakeRemainderBytes(size_t point, std::string* bytes, bool structured = false);

    // Parameters and the value behind them; false when the line is to be ignored.
    bool _ReadValue(vcard::CParams* params, bool alwaysDecode);
    void _ReportInvalidElement() const;

    void _OnN();
    void _OnSingleText(std::wstring* field);
    void _OnNotStoredWithParameters();
    void _OnOrg();
    void _OnAdr();
    void _OnTel();
    void _OnEmail();
    void _OnUrl();
    void _OnDate(FILETIME* field);
    void _OnSpouse();
    void _OnNmServer();
    void _OnGender();
    void _OnChildren();

    vcard::CvCardText m_text;
    CImportCard m_card;
    bool m_skypeSeen = false;
    bool m_valueCodePagePending = false;
    // The code page of the last line and, when it is a double-byte one, its lead bytes.
    int m_leadBytesCodePage = 0;
    bool m_isDoubleByte = false;
    bool m_leadBytes[256] = {};

    bool _EmailsEqual(CContact& contact);
    HRESULT _QueryEqualContacts(std::vector<std::string>* ids);
    // Puts a contact just saved into the index, with its names as the address book kept them.
    void _IndexSavedContact(IMAPIProp* entry);
    // The progress window shows processed now when the last update is 50 ms old, and always
    // when final (the last card, or the run stops).
    void _ShowProgress(bool final);
    // The card's name for the log: its display name, else its name parts and company.
    std::wstring _CardName() const;

    HWND m_owner = nullptr;
    int m_total = 0;
    int m_imported = 0;
    int m_failed = 0;
    int m_rest = 0;
    int m_incomplete = 0;
    int m_conflictMode = kDuplicate;
    int m_processed = 0;
    // The run's progress window while the second pass runs, else null.
    CDlgProgress* m_progress = nullptr;
    DWORD m_lastProgress = 0;
    CEqualContactIndex m_index;
    std::string m_targetFolder;
    std::wstring m_currentFile;
    std::string m_currentFilePath;  // UTF-8, for the log
    size_t m_cardsRead = 0;
    bool m_textEndedInCard = false;
    bool m_cardCut = false;
    FileHook m_beforeRead;

    // What the counting pass read of a file, by its path.
    struct CKeptFile {
        ULONGLONG size = 0;
        FILETIME written = {0, 0};
        std::string bytes;
    };
    // Takes the kept bytes of path when the open file is still what was counted; false when
    // there are none or it changed (the kept bytes go either way).
    bool _TakeKeptBytes(const std::wstring& path, HANDLE file, std::string* bytes);
    bool m_keepCounted = false;
    size_t m_keptBytes = 0;
    std::map<std::wstring, CKeptFile> m_kept;
};
