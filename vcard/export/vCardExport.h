// Export of address-book contacts to vCard files: the run over a folder, all folders or a
// selection, one file per contact or all of them in one file, and the writer of each card. The
// same run writes a CSV file (one per run: a header row, then a row per contact).
//
// RunExport shows the export dialog and calls Execute once with the user's choices; the object
// serves that one run. Cards are built in the card buffer (codec/vcard/CardText.h lays out the
// bytes) and written unchanged, back to back in one-file mode.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Selection.h"
#include "common/raii.h"
#include "codec/csv/CsvText.h"
#include "codec/vcard/CardText.h"
#include "wab/WABLib.h"

class CContact;

class CvCardExport {
public:
    CvCardExport();
    virtual ~CvCardExport();
    CvCardExport(const CvCardExport&) = delete;
    CvCardExport& operator=(const CvCardExport&) = delete;

    // Shows the export dialog owned by owner and, on OK, runs the export. selection is null when
    // the program was started without selected contacts. 0 when the export ran, -1 when the
    // dialog was cancelled.
    int RunExport(HWND owner, const CSelectionList* selection);

    // Owner of the progress window and of the closing message; set before Execute.
    void SetOwner(HWND owner) { m_owner = owner; }
    // Whether each group of the run is also written as a card of its own (off unless the user
    // asks): other programs may show such a card as a contact.
    void SetGroupCards(bool groupCards) { m_groupCards = groupCards; }

    // Runs the export (see the class comment). folderId null: all folders. selectionMode: the
    // contacts are those of selection instead of the folder's. format "2.1", "3.0" or "CSV"
    // (always one file, UTF-8 with a byte-order mark); encoding
    // is a display name of the encodings list, or empty for the system's ANSI code page.
    // 0 when the run went through; the failing step's status when it stopped (-1 for a file that
    // could not be created or written); E_NOTIMPL for another format text.
    int Execute(const char* targetFolder, const char* folderId, bool selectionMode,
                const CSelectionList* selection, const char* format, bool oneFile, const char* encoding);

    // The writer on its own, for a contact opened by the caller: the run prepares it the same
    // way. PrepareCards fixes the format code (21 or 30) and takes the current code page of the
    // character converter; WriteCard then leaves the card of the contact in CardText().
    void PrepareCards(int formatCode);
    // entryId: the contact's identifier text, by which its groups are found (none when empty).
    void SetContact(IMAPIProp* entry, const char* entryId = "")
    {
        m_contact = entry;
        m_contactId = entryId ? entryId : "";
    }
    void WriteCard();
    const CardBuffer& CardText() const { return m_cardBuffer; }

    // The CSV writer in the character converter's current code page; WriteCard then leaves the
    // contact's row in CardText().
    void PrepareRows();

    // Converts the writer's values in the character converter's current code page.
    static const vcard::ITextEncoder& Encoder();

    // The base of a file name made safe for the file system: line breaks of a multi-line name
    // become " (" with ")" at the end, characters Windows forbids and control characters become
    // "_", and a device name (CON, NUL, COM1 ...) gets a leading "_". UTF-16, as the files are
    // created.
    static std::wstring SafeBaseName(const std::wstring& name);

    // The path of the file named base with the number n ("(n)" after the base when n > 0) and
    // the extension (".vcf" or ".csv") in folder, which ends in a separator. The base alone is cut (never inside a surrogate
    // pair) so that the path fits MAX_PATH and the name 255 characters, with, in one-file mode,
    // the ending of the name it is written under (see _CreateNumberedFile). Empty when the folder
    // leaves no room.
    static std::wstring FittedPath(const std::wstring& folder, const std::wstring& base, int n, bool oneFile,
                                   const wchar_t* extension = L".vcf");

    // Figures of the last run.
    int Total() const { return m_total; }
    int Exported() const { return m_exported; }
    int Failed() const { return m_failed; }

    // A folder's name in UTF-16 (the folder list gives it only in the ANSI code page, where another
    // script becomes question marks); ansiName when the folder cannot give it.
    static std::wstring FolderName(const char* folderId, const char* ansiName);

    // Major and minor number of the running program's product version (1.0 without one).
    static void ProductVersion(int* major, int* minor);

private:
    int _ExportContact();
    std::wstring _CardName() const;
    // The file name: the base (display name, folder name or "Noname", made safe), then the
    // first free numbered name, created at once.
    std::wstring _MakeBaseName();
    bool _CreateNumberedFile(const std::wstring& base);
    // Closes the file and gives it its own name; false (logged) when it cannot have it, and the
    // cards stay in m_partPath.
    bool _Complete();
    // The names of the groups each contact of the run belongs to, from the groups of the folder
    // (of every folder, for all folders or a selection); the log names what no card can carry.
    void _ReadGroups(const char* folderId);
    // Each group as a card of its own (KIND:group), after the contacts: in the one file, or in a
    // file named after the group.
    int _WriteGroupCards();
    // Writes m_cardBuffer to the run's file (one file) or to a new file of that base name.
    int _WriteCardToFile(const std::wstring& baseName);
    // Writes to the open file; false (logged) when it cannot.
    bool _WriteAll(const char* bytes, DWORD length);

    // The run's own state first (owner, choices, counters), then the writer's working state.
    HWND m_owner = nullptr;
    int m_format = vcard::kVCard21;
    bool m_csv = false;
    bool m_oneFile = false;
    bool m_fileOpen = false;
    std::string m_targetFolder;
    std::wstring m_oneFileBaseName;  // the folder's UTF-16 name, as the contacts' names are
    Microsoft::WRL::ComPtr<IMAPIProp> m_contact;
    std::string m_contactId;
    std::unordered_map<std::string, std::vector<std::wstring>> m_groupsOf;
    std::vector<CWabGroup> m_groups;
    bool m_groupCards = false;
    CardBuffer m_cardBuffer;
    common::CFileHandle m_file;
    std::wstring m_finalPath;   // the open file's own name
    std::wstring m_partPath;    // the name it is written under: its own, or (one file) ".part" added
    ULONGLONG m_fileLength = 0;  // bytes of whole cards in the open file
    int m_total = 0;
    int m_exported = 0;
    int m_failed = 0;
    int m_rest = 0;

    ULONG m_serversTag = 0;
    std::unique_ptr<vcard::CCardWriter> m_writer;
    std::unique_ptr<csv::CCsvWriter> m_csvWriter;
    std::string m_row;
    CContactRecord m_fields;
};
