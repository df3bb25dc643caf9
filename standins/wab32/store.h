// The store behind the stand-in address book: one UTF-8 text file, a journal of records that is
// only ever appended to, read whole into memory when a session opens it.
//
// File format. The first line is "QWAB-STORE 1". Lines starting with '#' are comments. Then
// records, each:
//   +FOLDER <serial>                    a folder (its latest record wins; folders keep the order
//                                        of their serials, the first is the personal address book)
//   +CONTACT <serial> <folder serial>   a contact, all its properties
//   +GROUP <serial> <folder serial>     a group, all its properties
//   -DELETE <serial>                    the entry is gone
//   +NAME <id hex>                      a named property: lines "GUID {...}" and "LID <hex>" or
//                                        "STR <escaped text>"
// followed by property lines "<tag, 8 hex digits> <value>" (the value's text form is in
// propvalue.cpp: numbers in decimal, times as 2024-01-31T00:00:00.0000000, binaries in hex,
// strings as UTF-8 with \\ \| \n \r \t \uXXXX escapes, list items each after a '|'), and ended by
// "=<CRC-32 of the record's bytes before this line, 8 hex digits>".
//
// Saving an entry appends one record of that entry, in one write, under a named mutex shared by
// every process using the same file. Before it writes, a process reads what others appended since
// it last looked, so serial numbers stay unique and nothing is lost. Every writer also counts its
// writes in a small named shared section, so that a reader looks at the file only when the count
// moved: asking the file for its size on every open of an entry cost more than the rest of the
// open together. A record without its end
// line or with a wrong checksum (a torn write of a crash) is ignored when read and cut off by the
// next writer. Serial numbers are never reused, so entry identifiers stay valid across sessions.
#pragma once

#include <windows.h>
#include "standins/wab32/wabheaders.h"

#include <cstdint>
#include <map>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "standins/wab32/propvalue.h"

namespace wabstandin {

// PR_WAB_DL_ENTRIES: the members of a group, as entry identifiers.
const ULONG kPrWabDlEntries = PROP_TAG(PT_MV_BINARY, 0x8006);
// Named properties get ids from here on, clear of the address book's own 0x80xx properties.
const ULONG kFirstNamedId = 0x8100;
// Object types of the template identifiers handed out as PR_DEF_CREATE_MAILUSER / _DL.
const ULONG kTemplateFlag = 0x100;

struct CEntryData {
    ULONG serial = 0;  // 0: never saved
    ULONG type = 0;    // MAPI_ABCONT, MAPI_MAILUSER or MAPI_DISTLIST
    ULONG folder = 0;  // serial of the folder that holds a contact or group
    CProps props;
};
// The heap a store keeps its entries in, apart from the process's. Under Wine every allocation
// walks the free blocks of its heap: entries held for the whole session among the short-lived
// blocks of every call would leave holes that make each later call slower, and a closed store
// of 100,000 contacts left millions of them. Destroyed with the last entry that lives in it.
class CEntryHeap {
public:
    CEntryHeap();
    ~CEntryHeap();
    CEntryHeap(const CEntryHeap&) = delete;
    CEntryHeap& operator=(const CEntryHeap&) = delete;
    HANDLE Handle() const { return m_heap; }

private:
    HANDLE m_heap;
    bool m_own;
};

template <class T>
class CEntryAllocator {
public:
    using value_type = T;
    explicit CEntryAllocator(std::shared_ptr<CEntryHeap> heap) : m_heap(std::move(heap)) {}
    template <class U>
    CEntryAllocator(const CEntryAllocator<U>& other) : m_heap(other.m_heap)
    {
    }
    T* allocate(size_t n)
    {
        void* p = n <= SIZE_MAX / sizeof(T) ? HeapAlloc(m_heap->Handle(), 0, n * sizeof(T)) : nullptr;
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { HeapFree(m_heap->Handle(), 0, p); }
    template <class U>
    bool operator==(const CEntryAllocator<U>& other) const
    {
        return m_heap == other.m_heap;
    }
    template <class U>
    bool operator!=(const CEntryAllocator<U>& other) const
    {
        return m_heap != other.m_heap;
    }

    std::shared_ptr<CEntryHeap> m_heap;
};

// An entry as the store holds it: the properties packed (PackProps). A store of 100,000 contacts
// held them unpacked in 4 KB and about forty heap blocks each; packed, one block of a few hundred
// bytes, beside the entry itself, in the store's heap. Objects and writers work on the unpacked
// CEntryData.
struct CStoredEntry {
    using CBytes = std::basic_string<char, std::char_traits<char>, CEntryAllocator<char>>;
    explicit CStoredEntry(const CEntryAllocator<char>& allocator) : packed(allocator) {}

    ULONG serial = 0;
    ULONG type = 0;
    ULONG folder = 0;
    CBytes packed;

    static std::shared_ptr<const CStoredEntry> Of(const CEntryData& entry, const std::shared_ptr<CEntryHeap>& heap);
    CEntryData Unpack() const;
};
using CEntryPtr = std::shared_ptr<const CStoredEntry>;

// 16 bytes: 4 zero flag bytes, "QWS1", the type and the serial as 32-bit little-endian numbers.
std::string MakeEntryId(ULONG type, ULONG serial);
// false when the bytes are not an identifier of ours.
bool ParseEntryId(const void* id, ULONG size, ULONG* type, ULONG* serial);

struct CNamedProp {
    ULONG id = 0;
    GUID guid = {};
    ULONG kind = MNID_ID;
    LONG lid = 0;
    std::wstring name;
};

class CStore {
public:
    // The store of a file, shared by every user in this process. create: an absent or empty file
    // becomes a new store with one folder "Contacts". MAPI_E_CORRUPT_DATA for a file that is not
    // a store of ours (it is never written to then).
    static HRESULT Open(const std::string& path, bool create, std::shared_ptr<CStore>& store);
    // The store of a file when this process has it open, else nullptr.
    static std::shared_ptr<CStore> FindOpen(const std::string& path);
    // Replaces the file by a new store whose only folder is named pabName.
    static HRESULT CreateNew(const std::string& path, const std::wstring& pabName);

    ~CStore();
    CStore(const CStore&) = delete;
    CStore& operator=(const CStore&) = delete;

    const std::string& Path() const { return m_path; }

    // Takes in what other processes appended since this process last read the file.
    HRESULT Refresh();

    std::vector<CEntryPtr> Folders();
    ULONG PabSerial();
    CEntryPtr Find(ULONG serial);
    // The contacts and groups of a folder (allFolders: of every folder), in serial order.
    std::vector<CEntryPtr> Contents(ULONG folder, bool allFolders);

    // Writes the entry (a new one, serial 0, gets its serial here) with PR_LAST_MODIFICATION_TIME
    // set to now unless keepTime and the entry has one. MAPI_E_OBJECT_DELETED when a saved entry
    // was deleted meanwhile, MAPI_E_NOT_FOUND when its folder does not exist.
    HRESULT Save(CEntryData& entry, bool keepTime = false);
    // Deletes the contacts and groups among the serials (folders are not deleted); deleted
    // receives how many went. One record per entry.
    HRESULT Delete(const std::vector<ULONG>& serials, ULONG* deleted);

    // Id of a named property; create: a new name gets the next id and is written at once.
    HRESULT NamedId(const GUID& guid, ULONG kind, LONG lid, const std::wstring& name, bool create,
                    ULONG* id);
    bool NameOf(ULONG id, CNamedProp& name);

    // Bulk loading: between BeginBatch and EndBatch this thread holds the store (and its file lock)
    // and records are collected in memory, then written in one append by EndBatch. If that write
    // fails, the store is read again from the file, so memory never holds what the file lacks.
    HRESULT BeginBatch();
    HRESULT EndBatch();

    // Bytes this process has written to the file (for measurements).
    ULONGLONG BytesWritten() const { return m_bytesWritten; }

private:
    CStore() = default;
    HRESULT _Load(bool create);
    HRESULT _ReadNew();
    HRESULT _ReadFile();
    // The writes counted so far by every process using the file; -1 when the count is unavailable
    // (then every Refresh looks at the file).
    LONG64 _WriteCount() const;
    // Called by a writer, under the file lock, after the file changed.
    void _CountWrite();
    void _Apply(const std::string& head, const std::vector<std::pair<const char*, size_t>>& lines);
    HRESULT _AppendLocked(const std::string& record);
    static std::string _RecordOf(const char* head, const CEntryData& entry);

    std::string m_path;
    common::CFileHandle m_file;
    common::CHandle m_mutex;
    common::CHandle m_writeCountMap;
    common::CMappedView m_writeCountView;  // a LONG64, shared by the processes using the file
    LONG64 m_writeCountRead = -1;          // the count when this process last read the file
    bool m_readOnly = false;
    ULONGLONG m_end = 0;  // end of the last record read or written
    ULONGLONG m_bytesWritten = 0;
    bool m_batch = false;
    std::string m_pending;  // records of the batch, not yet written
    ULONG m_nextSerial = 1;
    ULONG m_nextNamedId = kFirstNamedId;
    std::shared_ptr<CEntryHeap> m_heap = std::make_shared<CEntryHeap>();
    // Folders, contacts and groups by serial.
    std::map<ULONG, CEntryPtr, std::less<ULONG>, CEntryAllocator<std::pair<const ULONG, CEntryPtr>>> m_entries{
        CEntryAllocator<std::pair<const ULONG, CEntryPtr>>(m_heap)};
    std::vector<CNamedProp> m_names;
    common::CCriticalSection m_cs;
};

// Current time as a file time.
LONGLONG NowFileTime();

}  // namespace wabstandin
