#include "vcard/import/KeptFiles.h"

namespace {

ULONGLONG SizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

}  // namespace

void CKeptFiles::Clear()
{
    m_keeping = false;
    m_files.clear();
    m_bytes = 0;
}

void CKeptFiles::Keep(const std::wstring& path, HANDLE file, std::string* bytes)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!m_keeping || bytes->size() > kMaxBytes - m_bytes || !::GetFileInformationByHandle(file, &info))
        return;
    CKeptFile& kept = m_files[path];
    m_bytes -= kept.bytes.size();
    kept.size = SizeOf(info);
    kept.written = info.ftLastWriteTime;
    kept.bytes.swap(*bytes);
    m_bytes += kept.bytes.size();
}

bool CKeptFiles::Take(const std::wstring& path, HANDLE file, std::string* bytes)
{
    auto it = m_files.find(path);
    if (it == m_files.end())
        return false;
    CKeptFile kept = std::move(it->second);
    m_bytes -= kept.bytes.size();
    m_files.erase(it);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info) || SizeOf(info) != kept.size ||
        ::CompareFileTime(&info.ftLastWriteTime, &kept.written) != 0)
        return false;
    bytes->swap(kept.bytes);
    return true;
}
