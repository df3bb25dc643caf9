#include "standins/wab32/store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "standins/wab32/storerecords.h"

namespace wabstandin {

namespace {

const char kHeader[] = "QWAB-STORE 1\n";
const char kComment[] =
    "# Address book of the stand-in WAB32.DLL: a journal, one record per saved entry.\n";
const char kSignature[4] = {'Q', 'W', 'S', '1'};
const DWORD kLockTimeoutMs = 10000;

std::string Seal(const std::string& body)
{
    char end[16];
    std::snprintf(end, sizeof end, "=%08lX\n", static_cast<unsigned long>(Crc32(body.data(), body.size())));
    return body + end;
}

std::string FullPath(const std::string& path)
{
    char buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf)
        return path;
    return std::string(buf, n);
}

std::string KeyOf(const std::string& fullPath)
{
    std::string key = fullPath;
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    std::replace(key.begin(), key.end(), '/', '\\');
    return key;
}

std::string MutexName(const std::string& key)
{
    unsigned long long h = 1469598103934665603ULL;
    for (unsigned char c : key) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "Local\\QuillonWabStandin-%016llX", h);
    return buf;
}

// The shared count of writes to a store file (see store.h); false when it cannot be had, which only
// costs speed.
bool OpenWriteCount(const std::string& key, common::CHandle& map, common::CMappedView& view)
{
    map.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG64),
                                 (MutexName(key) + "-writes").c_str()));
    if (!map)
        return false;
    view.reset(MapViewOfFile(map.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG64)));
    return view.valid();
}

struct CRegistry {
    common::CCriticalSection cs;
    std::map<std::string, std::weak_ptr<CStore>> stores;
};

CRegistry& Registry()
{
    static CRegistry* registry = new CRegistry;
    return *registry;
}

// Holds the named mutex of a store file for a scope.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock()
    {
        if (m_mutex)
            ReleaseMutex(m_mutex);
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;
    HRESULT Take(HANDLE mutex)
    {
        DWORD w = WaitForSingleObject(mutex, kLockTimeoutMs);
        if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
            OutputDebugStringA("wab32 stand-in: store file lock timed out\n");
            return MAPI_E_TIMEOUT;
        }
        m_mutex = mutex;
        return S_OK;
    }

private:
    HANDLE m_mutex = nullptr;
};

bool ParseUlong(const char* p, const char* end, int base, ULONG& value)
{
    uint32_t v = 0;
    if (!ParseNumber(p, end, base, &v))
        return false;
    value = v;
    return true;
}

// Sealed records go to the store; skipped ones are named to the debugger.
class CApplySink : public IRecordSink {
public:
    explicit CApplySink(std::function<void(const std::string&, const CRecordLines&)> apply) : m_apply(std::move(apply)) {}
    void OnRecord(const std::string& head, const CRecordLines& lines) override { m_apply(head, lines); }
    void OnSkipped(bool badChecksum) override
    {
        OutputDebugStringA(badChecksum ? "wab32 stand-in: skipped a store record with a wrong checksum\n"
                                       : "wab32 stand-in: skipped an unfinished store record\n");
    }

private:
    std::function<void(const std::string&, const CRecordLines&)> m_apply;
};

}  // namespace

LONGLONG NowFileTime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

std::string MakeEntryId(ULONG type, ULONG serial)
{
    std::string id(16, '\0');
    std::memcpy(&id[4], kSignature, 4);
    for (int i = 0; i < 4; ++i) {
        id[8 + i] = static_cast<char>((type >> (8 * i)) & 0xFF);
        id[12 + i] = static_cast<char>((serial >> (8 * i)) & 0xFF);
    }
    return id;
}

bool ParseEntryId(const void* id, ULONG size, ULONG* type, ULONG* serial)
{
    if (!id || size != 16)
        return false;
    const unsigned char* p = static_cast<const unsigned char*>(id);
    if (p[0] || p[1] || p[2] || p[3] || std::memcmp(p + 4, kSignature, 4) != 0)
        return false;
    ULONG t = 0, s = 0;
    for (int i = 3; i >= 0; --i) {
        t = (t << 8) | p[8 + i];
        s = (s << 8) | p[12 + i];
    }
    *type = t;
    *serial = s;
    return true;
}

CEntryHeap::CEntryHeap() : m_heap(HeapCreate(0, 0, 0)), m_own(m_heap != nullptr)
{
    if (!m_heap) {
        OutputDebugStringA("wab32 stand-in: no heap of its own for a store, its entries share the process's\n");
        m_heap = GetProcessHeap();
    }
}

CEntryHeap::~CEntryHeap()
{
    if (m_own)
        HeapDestroy(m_heap);
}

std::shared_ptr<const CStoredEntry> CStoredEntry::Of(const CEntryData& entry, const std::shared_ptr<CEntryHeap>& heap)
{
    CEntryAllocator<char> allocator(heap);
    auto stored = std::allocate_shared<CStoredEntry>(allocator, allocator);
    stored->serial = entry.serial;
    stored->type = entry.type;
    stored->folder = entry.folder;
    const std::string packed = PackProps(entry.props);
    stored->packed.assign(packed.data(), packed.size());
    return stored;
}

CEntryData CStoredEntry::Unpack() const
{
    CEntryData entry;
    entry.serial = serial;
    entry.type = type;
    entry.folder = folder;
    if (!UnpackProps(packed.data(), packed.size(), entry.props))
        OutputDebugStringA("wab32 stand-in: a packed entry did not unpack whole\n");
    return entry;
}

HRESULT CStore::Open(const std::string& path, bool create, std::shared_ptr<CStore>& store)
{
    store.reset();
    if (path.empty())
        return MAPI_E_INVALID_PARAMETER;
    std::string full = FullPath(path);
    std::string key = KeyOf(full);
    CRegistry& reg = Registry();
    common::CLock regLock(reg.cs);
    auto it = reg.stores.find(key);
    if (it != reg.stores.end()) {
        if (auto existing = it->second.lock()) {
            HRESULT hr = existing->Refresh();
            if (FAILED(hr))
                return hr;
            store = existing;
            return S_OK;
        }
    }
    std::shared_ptr<CStore> s(new CStore);
    s->m_path = full;
    s->m_file.reset(CreateFileA(full.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!s->m_file && GetLastError() == ERROR_ACCESS_DENIED) {
        s->m_file.reset(CreateFileA(full.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        s->m_readOnly = true;
    }
    if (!s->m_file) {
        DWORD err = GetLastError();
        OutputDebugStringA(("wab32 stand-in: cannot open store " + full + "\n").c_str());
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? MAPI_E_NOT_FOUND
                                                                            : common::HResultFromLastError();
    }
    s->m_mutex.reset(CreateMutexA(nullptr, FALSE, MutexName(key).c_str()));
    if (!s->m_mutex)
        return common::HResultFromLastError();
    if (!OpenWriteCount(key, s->m_writeCountMap, s->m_writeCountView))
        OutputDebugStringA(("wab32 stand-in: no shared write count, each open reads the file: " + full + "\n").c_str());
    HRESULT hr = s->_Load(create);
    if (FAILED(hr))
        return hr;
    reg.stores[key] = s;
    store = s;
    return S_OK;
}

std::shared_ptr<CStore> CStore::FindOpen(const std::string& path)
{
    std::string key = KeyOf(FullPath(path));
    CRegistry& reg = Registry();
    common::CLock regLock(reg.cs);
    auto it = reg.stores.find(key);
    return it == reg.stores.end() ? nullptr : it->second.lock();
}

HRESULT CStore::CreateNew(const std::string& path, const std::wstring& pabName)
{
    if (path.empty())
        return MAPI_E_INVALID_PARAMETER;
    if (FindOpen(path))
        return MAPI_E_BUSY;
    std::string full = FullPath(path);
    common::CHandle mutex(CreateMutexA(nullptr, FALSE, MutexName(KeyOf(full)).c_str()));
    if (!mutex)
        return common::HResultFromLastError();
    CFileLock lock;
    HRESULT hr = lock.Take(mutex.get());
    if (FAILED(hr))
        return hr;
    common::CFileHandle file(CreateFileA(full.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return common::HResultFromLastError();
    CEntryData pab;
    pab.serial = 1;
    pab.type = MAPI_ABCONT;
    CValue name;
    name.tag = PR_DISPLAY_NAME_W;
    name.text = pabName;
    PutProp(pab.props, name);
    CValue time;
    time.tag = PR_LAST_MODIFICATION_TIME;
    time.num = NowFileTime();
    PutProp(pab.props, time);
    std::string text = std::string(kHeader) + kComment + Seal(_RecordOf("+FOLDER", pab));
    DWORD written = 0;
    BOOL ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    hr = !ok ? common::HResultFromLastError() : written != text.size() ? MAPI_E_NOT_ENOUGH_DISK : S_OK;
    // The file was replaced either way: other processes must read it again.
    common::CHandle countMap;
    common::CMappedView countView;
    if (OpenWriteCount(KeyOf(full), countMap, countView))
        InterlockedIncrement64(static_cast<LONG64*>(countView.get()));
    return hr;
}

CStore::~CStore() = default;

HRESULT CStore::_Load(bool create)
{
    common::CLock lock(m_cs);
    CFileLock fileLock;
    HRESULT hr = fileLock.Take(m_mutex.get());
    if (FAILED(hr))
        return hr;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_file.get(), &size))
        return common::HResultFromLastError();
    if (size.QuadPart == 0) {
        if (!create || m_readOnly)
            return MAPI_E_CORRUPT_DATA;
        CEntryData pab;
        pab.serial = 1;
        pab.type = MAPI_ABCONT;
        CValue name;
        name.tag = PR_DISPLAY_NAME_W;
        name.text = L"Contacts";
        PutProp(pab.props, name);
        CValue time;
        time.tag = PR_LAST_MODIFICATION_TIME;
        time.num = NowFileTime();
        PutProp(pab.props, time);
        hr = _AppendLocked(std::string(kHeader) + kComment + Seal(_RecordOf("+FOLDER", pab)));
        if (FAILED(hr))
            return hr;
        m_entries[1] = CStoredEntry::Of(pab, m_heap);
        m_nextSerial = 2;
        return S_OK;
    }
    return _ReadNew();
}

HRESULT CStore::Refresh()
{
    common::CLock lock(m_cs);
    if (m_writeCountRead >= 0 && _WriteCount() == m_writeCountRead)
        return S_OK;
    return _ReadNew();
}

LONG64 CStore::_WriteCount() const
{
    if (!m_writeCountView)
        return -1;
    return InterlockedCompareExchange64(static_cast<LONG64*>(m_writeCountView.get()), 0, 0);
}

void CStore::_CountWrite()
{
    if (!m_writeCountView)
        return;
    LONG64 before = _WriteCount();
    LONG64 after = InterlockedIncrement64(static_cast<LONG64*>(m_writeCountView.get()));
    // Writers hold the file lock and read the file before they write: when this process had read
    // everything counted before, it has now read everything counted so far.
    if (before == m_writeCountRead)
        m_writeCountRead = after;
}

HRESULT CStore::_ReadNew()
{
    // The count is taken before the file is read: a write that lands while reading moves it on,
    // so the next Refresh reads again.
    LONG64 count = _WriteCount();
    HRESULT hr = _ReadFile();
    if (SUCCEEDED(hr))
        m_writeCountRead = count;
    return hr;
}

HRESULT CStore::_ReadFile()
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_file.get(), &size))
        return common::HResultFromLastError();
    ULONGLONG fileSize = static_cast<ULONGLONG>(size.QuadPart);
    if (fileSize < m_end) {
        // The file was replaced by a shorter one (a store created anew): read it from the start.
        OutputDebugStringA(("wab32 stand-in: store file shrank, reading it again: " + m_path + "\n").c_str());
        m_entries.clear();
        m_names.clear();
        m_end = 0;
        m_nextSerial = 1;
        m_nextNamedId = kFirstNamedId;
    }
    if (fileSize <= m_end)
        return S_OK;
    ULONGLONG count = fileSize - m_end;
    if (count > 0x7FFFFFFFULL)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::string buf(static_cast<size_t>(count), '\0');
    OVERLAPPED ov = {};
    ov.Offset = static_cast<DWORD>(m_end);
    ov.OffsetHigh = static_cast<DWORD>(m_end >> 32);
    DWORD got = 0;
    if (!ReadFile(m_file.get(), &buf[0], static_cast<DWORD>(count), &got, &ov))
        return common::HResultFromLastError();
    buf.resize(got);

    size_t pos = 0;
    if (m_end == 0) {
        size_t headerLen = sizeof kHeader - 1;
        if (buf.size() < headerLen)
            return buf.compare(0, buf.size(), kHeader, buf.size()) == 0 ? S_OK : MAPI_E_CORRUPT_DATA;
        if (buf.compare(0, headerLen, kHeader) != 0) {
            OutputDebugStringA(("wab32 stand-in: not a store file: " + m_path + "\n").c_str());
            return MAPI_E_CORRUPT_DATA;
        }
        pos = headerLen;
    }
    CApplySink sink([this](const std::string& head, const CRecordLines& lines) { _Apply(head, lines); });
    size_t consumed = ScanRecords(buf.data(), buf.size(), pos, sink);
    m_end += consumed;
    return S_OK;
}

void CStore::_Apply(const std::string& head, const std::vector<std::pair<const char*, size_t>>& lines)
{
    CWords words = Words(head);
    const std::string* w = words.w;
    const size_t n = words.count;
    if (!n)
        return;
    auto number = [](const std::string& s, int base, ULONG& v) {
        return ParseUlong(s.data(), s.data() + s.size(), base, v);
    };
    ULONG serial = 0;
    if (w[0] == "-DELETE" && n == 2 && number(w[1], 10, serial)) {
        auto it = m_entries.find(serial);
        if (it != m_entries.end() && it->second->type != MAPI_ABCONT)
            m_entries.erase(it);
        m_nextSerial = std::max(m_nextSerial, serial + 1);
        return;
    }
    if (w[0] == "+NAME" && n == 2) {
        CNamedProp name;
        if (!number(w[1], 16, name.id))
            return;
        bool hasGuid = false, hasKind = false;
        for (const auto& l : lines) {
            std::string line(l.first, l.second);
            if (line.compare(0, 5, "GUID ") == 0) {
                hasGuid = ParseGuidText(line.substr(5), name.guid);
            } else if (line.compare(0, 4, "LID ") == 0) {
                ULONG v = 0;
                hasKind = number(line.substr(4), 16, v);
                name.kind = MNID_ID;
                name.lid = static_cast<LONG>(v);
            } else if (line.compare(0, 4, "STR ") == 0) {
                CValue text;
                hasKind = DecodeValue(PT_UNICODE, line.data() + 4, line.size() - 4, text);
                name.kind = MNID_STRING;
                name.name = text.text;
            }
        }
        if (!hasGuid || !hasKind)
            return;
        for (const auto& existing : m_names)
            if (existing.id == name.id)
                return;
        m_names.push_back(name);
        m_nextNamedId = std::max(m_nextNamedId, name.id + 1);
        return;
    }
    CEntryData entry;
    if (w[0] == "+FOLDER" && n == 2 && number(w[1], 10, serial)) {
        entry.type = MAPI_ABCONT;
    } else if ((w[0] == "+CONTACT" || w[0] == "+GROUP") && n == 3 && number(w[1], 10, serial) &&
               number(w[2], 10, entry.folder)) {
        entry.type = w[0] == "+CONTACT" ? MAPI_MAILUSER : MAPI_DISTLIST;
    } else {
        return;  // a kind of record this version does not know
    }
    if (serial == 0)
        return;
    entry.serial = serial;
    entry.props.reserve(lines.size());
    for (const auto& l : lines) {
        ULONG tag;
        if (l.second < 9 || l.first[8] != ' ' || !ParseUlong(l.first, l.first + 8, 16, tag))
            continue;
        CValue v;
        if (KeptType(PROP_TYPE(tag)) != PROP_TYPE(tag) || !DecodeValue(tag, l.first + 9, l.second - 9, v)) {
            OutputDebugStringA("wab32 stand-in: skipped an unreadable property line\n");
            continue;
        }
        PutProp(entry.props, std::move(v));
    }
    m_entries[serial] = CStoredEntry::Of(entry, m_heap);
    m_nextSerial = std::max(m_nextSerial, serial + 1);
}

std::string CStore::_RecordOf(const char* head, const CEntryData& entry)
{
    char buf[64];
    if (entry.type == MAPI_ABCONT)
        std::snprintf(buf, sizeof buf, "%s %lu\n", head, static_cast<unsigned long>(entry.serial));
    else
        std::snprintf(buf, sizeof buf, "%s %lu %lu\n", head, static_cast<unsigned long>(entry.serial),
                      static_cast<unsigned long>(entry.folder));
    std::string body = buf;
    for (const auto& v : entry.props) {
        std::snprintf(buf, sizeof buf, "%08lX ", static_cast<unsigned long>(v.tag));
        body += buf;
        body += EncodeValue(v);
        body += '\n';
    }
    return body;
}

HRESULT CStore::BeginBatch()
{
    m_cs.Enter();
    DWORD w = WaitForSingleObject(m_mutex.get(), kLockTimeoutMs);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
        m_cs.Leave();
        return MAPI_E_TIMEOUT;
    }
    HRESULT hr = m_readOnly ? MAPI_E_NO_ACCESS : _ReadNew();
    if (FAILED(hr)) {
        ReleaseMutex(m_mutex.get());
        m_cs.Leave();
        return hr;
    }
    m_batch = true;
    m_pending.clear();
    return S_OK;
}

HRESULT CStore::EndBatch()
{
    m_batch = false;
    std::string text;
    text.swap(m_pending);
    HRESULT hr = text.empty() ? S_OK : _AppendLocked(text);
    if (FAILED(hr)) {
        m_entries.clear();
        m_names.clear();
        m_end = 0;
        m_nextSerial = 1;
        m_nextNamedId = kFirstNamedId;
        _ReadNew();
    }
    ReleaseMutex(m_mutex.get());
    m_cs.Leave();
    return hr;
}

HRESULT CStore::_AppendLocked(const std::string& text)
{
    if (m_readOnly)
        return MAPI_E_NO_ACCESS;
    if (m_batch) {
        m_pending += text;
        return S_OK;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_file.get(), &size))
        return common::HResultFromLastError();
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(m_end);
    if (static_cast<ULONGLONG>(size.QuadPart) > m_end) {
        // What lies behind the last whole record was left by a writer that died mid-record (every
        // writer holds the lock while it writes): cut it off before appending.
        if (!SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get()))
            return common::HResultFromLastError();
    }
    if (!SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN))
        return common::HResultFromLastError();
    DWORD written = 0;
    BOOL ok = WriteFile(m_file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (!ok || written != text.size()) {
        HRESULT hr = ok ? MAPI_E_NOT_ENOUGH_DISK : common::HResultFromLastError();
        SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN);
        SetEndOfFile(m_file.get());
        _CountWrite();
        OutputDebugStringA("wab32 stand-in: writing the store failed\n");
        return hr;
    }
    m_end += text.size();
    m_bytesWritten += text.size();
    _CountWrite();
    return S_OK;
}

std::vector<CEntryPtr> CStore::Folders()
{
    common::CLock lock(m_cs);
    std::vector<CEntryPtr> out;
    for (const auto& e : m_entries)
        if (e.second->type == MAPI_ABCONT)
            out.push_back(e.second);
    return out;
}

ULONG CStore::PabSerial()
{
    common::CLock lock(m_cs);
    for (const auto& e : m_entries)
        if (e.second->type == MAPI_ABCONT)
            return e.first;
    return 0;
}

CEntryPtr CStore::Find(ULONG serial)
{
    common::CLock lock(m_cs);
    auto it = m_entries.find(serial);
    return it == m_entries.end() ? nullptr : it->second;
}

std::vector<CEntryPtr> CStore::Contents(ULONG folder, bool allFolders)
{
    common::CLock lock(m_cs);
    std::vector<CEntryPtr> out;
    for (const auto& e : m_entries)
        if (e.second->type != MAPI_ABCONT && (allFolders || e.second->folder == folder))
            out.push_back(e.second);
    return out;
}

HRESULT CStore::Save(CEntryData& entry, bool keepTime)
{
    common::CLock lock(m_cs);
    CFileLock fileLock;
    HRESULT hr = m_batch ? S_OK : fileLock.Take(m_mutex.get());  // a batch holds the lock already
    if (FAILED(hr))
        return hr;
    hr = m_batch ? S_OK : _ReadNew();
    if (FAILED(hr))
        return hr;
    if (entry.type != MAPI_ABCONT && entry.type != MAPI_MAILUSER && entry.type != MAPI_DISTLIST)
        return MAPI_E_INVALID_PARAMETER;
    if (entry.serial) {
        auto it = m_entries.find(entry.serial);
        if (it == m_entries.end() || it->second->type != entry.type)
            return MAPI_E_OBJECT_DELETED;
    }
    if (entry.type != MAPI_ABCONT) {
        auto f = m_entries.find(entry.folder);
        if (f == m_entries.end() || f->second->type != MAPI_ABCONT)
            return MAPI_E_NOT_FOUND;
    }
    CEntryData copy = entry;
    if (!copy.serial)
        copy.serial = m_nextSerial;
    if (!keepTime || !FindProp(copy.props, PROP_ID(PR_LAST_MODIFICATION_TIME))) {
        CValue time;
        time.tag = PR_LAST_MODIFICATION_TIME;
        time.num = NowFileTime();
        PutProp(copy.props, time);
    }
    const char* head = copy.type == MAPI_ABCONT ? "+FOLDER" : copy.type == MAPI_MAILUSER ? "+CONTACT" : "+GROUP";
    hr = _AppendLocked(Seal(_RecordOf(head, copy)));
    if (FAILED(hr))
        return hr;
    m_nextSerial = std::max(m_nextSerial, copy.serial + 1);
    m_entries[copy.serial] = CStoredEntry::Of(copy, m_heap);
    entry = std::move(copy);
    return S_OK;
}

HRESULT CStore::Delete(const std::vector<ULONG>& serials, ULONG* deleted)
{
    if (deleted)
        *deleted = 0;
    common::CLock lock(m_cs);
    CFileLock fileLock;
    HRESULT hr = m_batch ? S_OK : fileLock.Take(m_mutex.get());  // a batch holds the lock already
    if (FAILED(hr))
        return hr;
    hr = m_batch ? S_OK : _ReadNew();
    if (FAILED(hr))
        return hr;
    std::string text;
    std::vector<ULONG> gone;
    for (ULONG s : serials) {
        auto it = m_entries.find(s);
        if (it == m_entries.end() || it->second->type == MAPI_ABCONT ||
            std::find(gone.begin(), gone.end(), s) != gone.end())
            continue;
        char buf[48];
        std::snprintf(buf, sizeof buf, "-DELETE %lu\n", static_cast<unsigned long>(s));
        text += Seal(buf);
        gone.push_back(s);
    }
    if (text.empty())
        return S_OK;
    hr = _AppendLocked(text);
    if (FAILED(hr))
        return hr;
    for (ULONG s : gone)
        m_entries.erase(s);
    if (deleted)
        *deleted = static_cast<ULONG>(gone.size());
    return S_OK;
}

HRESULT CStore::NamedId(const GUID& guid, ULONG kind, LONG lid, const std::wstring& name, bool create,
                        ULONG* id)
{
    *id = 0;
    if (kind != MNID_ID && kind != MNID_STRING)
        return MAPI_E_INVALID_PARAMETER;
    auto match = [&](const CNamedProp& p) {
        return IsEqualGUID(p.guid, guid) && p.kind == kind &&
               (kind == MNID_ID ? p.lid == lid : p.name == name);
    };
    common::CLock lock(m_cs);
    for (const auto& p : m_names)
        if (match(p)) {
            *id = p.id;
            return S_OK;
        }
    if (!create)
        return MAPI_E_NOT_FOUND;
    CFileLock fileLock;
    HRESULT hr = m_batch ? S_OK : fileLock.Take(m_mutex.get());
    if (FAILED(hr))
        return hr;
    hr = m_batch ? S_OK : _ReadNew();
    if (FAILED(hr))
        return hr;
    for (const auto& p : m_names)
        if (match(p)) {
            *id = p.id;
            return S_OK;
        }
    if (m_nextNamedId > 0xFFFE)
        return MAPI_E_NOT_ENOUGH_RESOURCES;
    CNamedProp p;
    p.id = m_nextNamedId;
    p.guid = guid;
    p.kind = kind;
    p.lid = lid;
    p.name = name;
    CValue guidValue;
    guidValue.tag = PT_CLSID;
    guidValue.bytes.assign(reinterpret_cast<const char*>(&guid), sizeof guid);
    char buf[64];
    std::snprintf(buf, sizeof buf, "+NAME %04lX\nGUID ", static_cast<unsigned long>(p.id));
    std::string body = buf + EncodeValue(guidValue) + "\n";
    if (kind == MNID_ID) {
        std::snprintf(buf, sizeof buf, "LID %lX\n", static_cast<unsigned long>(static_cast<ULONG>(lid)));
        body += buf;
    } else {
        CValue text;
        text.tag = PT_UNICODE;
        text.text = name;
        body += "STR " + EncodeValue(text) + "\n";
    }
    hr = _AppendLocked(Seal(body));
    if (FAILED(hr))
        return hr;
    m_names.push_back(p);
    m_nextNamedId = p.id + 1;
    *id = p.id;
    return S_OK;
}

bool CStore::NameOf(ULONG id, CNamedProp& name)
{
    common::CLock lock(m_cs);
    for (const auto& p : m_names)
        if (p.id == id) {
            name = p;
            return true;
        }
    return false;
}

}  // namespace wabstandin
