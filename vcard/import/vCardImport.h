// Import of vCard files into an address-book folder: the files are read into cards by its
// CCardReader (codec/vcard/CardReader.h: the property mapping, here over the character converter),
// and AddContact writes a card as a new contact. This class reads the files (vCardImport.cpp),
// reports what the reader meets (ImportReader.cpp) and talks to the address book
// (ImportContacts.cpp, over the contact fields table of contact/ContactFields.h).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/Selection.h"
#include "codec/csv/CsvText.h"
#include "codec/vcard/CardReader.h"
#include "vcard/import/EqualContactIndex.h"
#include "vcard/import/KeptFiles.h"
#include "vcard/import/RecordSource.h"
#include "wab/WABLib.h"

class CDlgProgress;

// The property mapping and the card loop are its reader's; this class gives it the character
// converter, reports what it meets in the log and to the user, and stores the cards.
class CvCardImport : private vcard::ICardReports {
public:
    CvCardImport();
    virtual ~CvCardImport();
    CvCardImport(const CvCardImport&) = delete;
    CvCardImport& operator=(const CvCardImport&) = delete;

    // Conflict modes: what happens to a card whose names and company match a contact of the
    // target folder that differs in other fields.
    enum ConflictMode { kDuplicate = 0, kReplace = 1, kLeaveOld = 2 };

    // The formats of the files the run reads, told by their extensions: .vcf, .csv, .ldif.
    enum FileFormat { kVCardFile = 0, kCsvFile = 1, kLdifFile = 2, kFileFormats };
    // The format of a file's name; -1 for none of them.
    static int FormatOfPath(const std::wstring& path);

    // Asked in the counting pass, once per CSV file whose columns include some with values that
    // no set we know names (localised Outlook columns, a spreadsheet's own): the file, those
    // columns with their first values, and the names of the fields they may go to; fills choice
    // with a field's index per column, or -1 to leave the column out. Without one (RunImport
    // alone), such columns are left out and logged.
    using ColumnMapper = std::function<void(const std::wstring& path,
                                            const std::vector<csv::CCsvReader::CUnmapped>& columns,
                                            const std::vector<std::string>& fields, std::vector<int>* choice)>;
    void SetColumnMapper(const ColumnMapper& mapper) { m_columnMapper = mapper; }
    // The mapper Execute uses: the Map Fields dialog, owned by owner.
    static ColumnMapper DialogMapper(HWND owner);

    // Shows the import dialog owned by owner and, on OK, imports the folder's vCard files.
    // selection is null when the program was started without selected contacts. Always 0.
    int Execute(HWND owner, const CSelectionList* selection);

    // Imports every *.vcf, *.csv and *.ldif file of sourceFolder into targetFolder: a counting pass, a pass that
    // stores the cards under a progress window, and one summary message.
    void RunImport(const char* sourceFolder, const char* targetFolder, int conflictMode);
    // Reads one file and stores its cards: 0 to go on with the next file, negative to stop.
    // The path is UTF-16 (names in any script).
    int ImportFile(const std::wstring& path);
    // Stores the current card as the conflict mode says: 0 when stored or skipped,
    // MAPI_W_ERRORS_RETURNED when stored without some of its properties, else the failure
    // (negative).
    HRESULT putContactItem();
    // Stores a group's own card (KIND:group): the target folder's group of its name, made when
    // missing, keeps the addresses the card lists. S_OK, or MAPI_W_ERRORS_RETURNED when the group
    // could not be made or take them (logged); nothing when groups are not joined.
    HRESULT putGroupCard();
    // Looks in the target folder for a contact with the card's names and company. 1: none;
    // 0: *entryId is the match and *differs tells whether its other fields differ (set on entry
    // means "take the first match without comparing"); anything else: the failure.
    // Only contacts that were in the folder before this run (AddContact notes the others) are
    // matches that differ: a contact the run added meets the card only when it agrees with it
    // (0, *differs cleared), and so does any contact for a card without names and company.
    HRESULT FindEqualContact(std::string* entryId, bool* differs);
    // True when the contact agrees with every non-empty field of the card (names excepted).
    bool IsContactEqual(IMAPIProp* item);

    // The run reads the target folder once into an index of names (RunImport does this itself)
    // and answers FindEqualContact from it; without one, each search is a restriction query.
    // A failure to build it is logged and leaves the run on the queries.
    HRESULT IndexTargetFolder();
    bool HasIndex() const { return m_index.IsLoaded(); }
    // The target folder's contacts whose names and company match the card, in table order:
    // from the index (when it can answer) or from the restriction query.
    HRESULT EqualCandidates(bool fromIndex, std::vector<std::string>* ids);

    // Counters of the last run.
    int Total() const { return m_total; }
    int Imported() const { return m_imported; }
    int Failed() const { return m_failed; }
    // Cards stored without some of their properties (counted as imported too).
    int Incomplete() const { return m_incomplete; }

    // The import's context: owner of the reader's message box, and the address-book folder that
    // receives the contacts.
    void SetOwner(HWND owner) { m_owner = owner; }
    void SetTargetFolder(const std::string& folderId)
    {
        m_targetFolder = folderId;
        m_groups.clear();
        m_groupsRead = S_FALSE;
        m_pending.clear();
        m_pendingIds.clear();
        m_groupsRefused.clear();
    }
    void SetConflictMode(int mode) { m_conflictMode = mode; }
    // Whether a card's CATEGORIES put its contact into the target folder's groups of those names
    // (made when missing). On unless the user turned it off.
    void SetJoinGroups(bool join) { m_joinGroups = join; }

    // Reads an open file (one read, one buffer) into the file text and closes the handle. A file
    // whose size cannot be taken, that is larger than kMaxFileBytes or that cannot be read is
    // read as empty: the result is then the failure, and *why (may be null) says what failed.
    // Nothing is logged here: the counting pass and the import pass both load every file, and
    // the import pass logs.
    HRESULT LoadFileText(HANDLE file, std::string* why = nullptr, int format = kVCardFile);
    // The same from bytes already in memory, for the reader of format (a FileFormat).
    void LoadText(const char* bytes, size_t size, int format = kVCardFile);
    void FreeFileText();

    // Number of complete cards in a file; 0 (and no message) when it cannot be opened.
    // The counting pass only splits lines and finds card ends (and keeps the bytes: KeptFiles.h);
    // what a card means is worked out once, in the import pass.
    int CountCards(const std::wstring& path);

    // The record loop over the loaded text (ReadAllCards for vCard); -1 also when memory ran out
    // (logged).
    int ReadCards(const vcard::CCardReader::CardSink& sink);
    // The vCard reader, its card and what it met.
    vcard::CCardReader& Reader() { return m_reader; }
    // The record the loop just read, whatever the format.
    const CContactRecord& Record() const { return m_source->Record(); }
    // For tests: called in the import pass with each file's path right before it is opened, so
    // that a test can change the folder while the run reads it. The path is in UTF-8.
    using FileHook = std::function<void(const char* path)>;
    void SetBeforeReadHook(const FileHook& hook) { m_beforeRead = hook; }

    // Writes the card as a new contact of the target folder and saves it; 0, the failure, or
    // MAPI_W_ERRORS_RETURNED when the contact was saved without properties the address book
    // refused (each logged with the contact's name). The saved contact counts as one this run
    // added.
    HRESULT AddContact();

    // The two message boxes of the import run that concern files (owner: SetOwner's window).
    // No *.vcf file in the source folder (string 117).
    void ShowNoFilesMessage() const;
    // A file that cannot be opened (its path, then string 118); true when the user chose OK
    // (go on with the next file), false for Cancel.
    bool ShowCannotOpenMessage(const char* path) const;

private:
    // A file is read whole, and its text is held twice at most while it is prepared: a larger
    // file is not read (the card limits are CCardReader's).
    static const LONGLONG kMaxFileBytes = 128LL * 1024 * 1024;
    // Reads an open file as LoadFileText does, into bytes, without closing it.
    static HRESULT ReadFileBytes(HANDLE file, std::string* bytes, std::string* why);
    void ReportInvalidElement() override;
    void ReportLineCut() override;
    void ReportCardCut(size_t skipped) override;
    void ReportValuesDropped(size_t count, const std::wstring& first) override;

    HRESULT _QueryEqualContacts(const std::wstring* const texts[6], std::vector<std::string>* ids);
    // Notes a contact just saved as this run's and puts it into the index, with its names as the
    // address book kept them; m_lastAdded is its identifier ("" when it could not be read).
    void _NoteSavedContact(IMAPIProp* entry);
    // "Replace existing contacts" once the card is stored: the new contact takes the older one's
    // place in the target folder's groups, and the older one goes, unless the new one lacks some
    // of its properties (stored != S_OK).
    void _ReplaceContact(const std::string& former, HRESULT stored);
    // Reads the target folder's groups once a run needs them; false (logged) when they cannot be.
    bool _LoadGroups();
    // The contact the card ended up as joins the groups its card names: noted here, written to
    // each group in one go by _FlushGroups (at the end of the run, and whenever
    // kMaxPendingMembers contacts wait), so that a group of thousands is not rewritten for each of
    // its members: a group costs a write of its whole member list.
    void _JoinGroups(const std::string& id);
    void _FlushGroups();
    // Index into m_groups of the group of that name, made when missing; m_groups.size() when it
    // cannot be made (logged once per name).
    size_t _GroupNamed(const std::wstring& name);
    // The groups of the target folder (read at the first replacement of a run) that list the entry:
    // index into m_groups and the entry's position; none when the groups could not be read.
    void _GroupsHolding(const std::string& id, std::vector<std::pair<size_t, size_t>>* places);
    // One group of m_groups at one place: `to` takes the place of `from`.
    HRESULT _MoveGroupMember(const std::pair<size_t, size_t>& place, const std::string& from, const std::string& to);
    // The progress window shows processed now when the last update is 50 ms old, and always
    // when final (the last card, or the run stops).
    void _ShowProgress(bool final);

    vcard::CCardReader m_reader;
    // A reader per format (ImportReader.cpp), and the one of the file being read.
    std::unique_ptr<IRecordSource> m_sources[kFileFormats];
    IRecordSource* m_source = nullptr;
    HWND m_owner = nullptr;
    int m_total = 0;
    int m_imported = 0;
    int m_failed = 0;
    int m_incomplete = 0;
    int m_conflictMode = kDuplicate;
    int m_processed = 0;
    // The run's progress window while the second pass runs, else null.
    CDlgProgress* m_progress = nullptr;
    DWORD m_lastProgress = 0;
    CEqualContactIndex m_index;
    std::unordered_set<std::string> m_added;  // contacts this run saved
    std::string m_lastAdded;
    // The target folder's groups with their members, read once a run needs them.
    std::vector<CWabGroup> m_groups;
    HRESULT m_groupsRead = S_FALSE;  // S_FALSE: not read yet
    bool m_joinGroups = true;
    // Members a group is to take, by index into m_groups, and every member it has or will have.
    struct CPendingMembers {
        std::vector<std::string> ids;
        std::unordered_set<std::string> known;
    };
    std::map<size_t, CPendingMembers> m_pending;
    std::unordered_set<std::string> m_pendingIds;  // every contact waiting to join a group
    static const size_t kMaxPendingMembers = 2000;
    std::unordered_set<std::wstring> m_groupsRefused;  // names no group could be made for
    std::string m_targetFolder;
    std::wstring m_currentFile;
    std::string m_currentFilePath;  // UTF-8, for the log
    FileHook m_beforeRead;
    ColumnMapper m_columnMapper;
    CKeptFiles m_kept;
};
