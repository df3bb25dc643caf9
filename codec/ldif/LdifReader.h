// Contacts from LDIF (RFC 2849), as Thunderbird and Netscape write their address books.
//
// The text is read as the standard says, and as broken files need:
//   - A byte-order mark is dropped; lines end at LF, CR LF or CR. A line that begins with one
//     blank goes on the line before it; a line that begins with '#' is a comment (with its
//     continuations). Records are separated by blank lines.
//   - "attr: value" is a plain value, "attr:: value" base64, "attr:< url" a reference that is not
//     fetched (told in the notes). Options behind the name ("cn;lang-de") are dropped. A value's
//     bytes are UTF-8 when they are valid UTF-8, else the system's ANSI code page.
//   - A record with a "changetype" line is a change to a directory, not an entry: skipped.
//   - An entry of the object class person (organizationalPerson, inetOrgPerson,
//     mozillaAbPersonAlpha, or no class at all but a cn or mail) is a contact. An entry of the
//     class groupOfNames (or groupOfUniqueNames) is a group: its members, by their dn, get the
//     group's cn among their groups, wherever in the file the group stands.
//   - Bounds: a value keeps at most kMaxValueBytes, an entry at most kMaxEntryValues values and
//     kMaxEntryBytes bytes, the groups at most kMaxMembers members (kMaxMemberBytes bytes of their
//     dns and the names they get) in all; what lies beyond is stepped over and told.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "codec/ContactRecord.h"
#include "codec/vcard/CardReader.h"

namespace ldif {

class CLdifReader {
public:
    static constexpr size_t kMaxValueBytes = 1024 * 1024;
    static constexpr size_t kMaxEntryValues = 10000;
    static constexpr size_t kMaxEntryBytes = 8 * 1024 * 1024;
    static constexpr size_t kMaxMembers = 100000;
    static constexpr size_t kMaxMemberBytes = 16 * 1024 * 1024;
    // Attributes of no field, named in the notes each; those beyond are counted together.
    static constexpr size_t kMaxUnreadNames = 100;

    using NoteSink = std::function<void(const std::string&)>;
    using RecordSink = std::function<int()>;

    CLdifReader(vcard::ITextDecoder& decoder, const NoteSink& notes = NoteSink())
        : m_decoder(decoder), m_notes(notes)
    {
    }
    CLdifReader(const CLdifReader&) = delete;
    CLdifReader& operator=(const CLdifReader&) = delete;

    // Takes a file's bytes and reads its groups. Memory running out throws std::bad_alloc.
    void Load(const char* bytes, size_t size);
    void Free();
    // The contacts: the person entries.
    size_t CountRecords();
    // Every contact into Record(), handed to sink; 0 at the end, -1 when the sink stopped. The
    // notes (what was not read) follow at the end.
    int ReadAll(const RecordSink& sink);
    const CContactRecord& Record() const { return m_record; }
    std::wstring RecordName() const;
    bool RecordCut() const { return m_cut; }

private:
    // kBad: marked base64 and not decoding.
    enum class ValueKind { kPlain, kBase64, kUrl, kBad };
    struct CAttribute {
        std::string name;  // lower case, options dropped
        ValueKind kind = ValueKind::kPlain;
        std::string value;
        bool cut = false;
    };
    enum class EntryKind { kPerson, kGroup, kChange, kOther };

    // The next record's attributes into m_entry (m_entryCount of them); false at the end.
    bool _NextEntry();
    // The next logical line (continuations joined, comments stepped over); false at the end.
    // Empty for a blank line.
    bool _NextLine(std::string* line, bool* cut);
    EntryKind _Kind() const;
    std::wstring _Text(const CAttribute& a);
    void _FillRecord();
    void _Note(const std::string& text) const;
    // The dn as groups name it: lower case, blanks around ',' and '=' dropped.
    static std::string _Normal(const std::string& dn);

    vcard::ITextDecoder& m_decoder;
    NoteSink m_notes;
    std::string m_text;
    size_t m_read = 0;
    std::vector<CAttribute> m_entry;
    size_t m_entryCount = 0;
    size_t m_entryExtra = 0;  // values beyond kMaxEntryValues or kMaxEntryBytes
    size_t m_entryBytes = 0;
    // Group names by member dn, read at Load.
    std::map<std::string, std::vector<std::wstring>> m_memberOf;
    size_t m_members = 0, m_memberBytes = 0, m_membersBeyond = 0;
    // What the reading met, told at its end.
    size_t m_changes = 0, m_others = 0, m_urls = 0, m_cutValues = 0, m_entriesCut = 0, m_badBase64 = 0;
    size_t m_dropped = 0;
    std::string m_firstDropped;
    std::map<std::string, size_t> m_unread;
    size_t m_unreadOther = 0;
    std::map<std::string, bool> m_membersFound;

    CContactRecord m_record;
    bool m_cut = false;
    std::string m_bytes;
};

}  // namespace ldif
