#include "base/Log.h"

#include <windows.h>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "common/raii.h"
#include "common/text.h"

namespace {

char* DupText(const char* s)
{
    if (!s)
        return nullptr;
    size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy)
        std::memcpy(copy, s, n);
    return copy;
}

// The program file's fixed version, most significant word first.
bool ProgramVersion(WORD parts[4])
{
    VS_FIXEDFILEINFO info;
    if (!common::FixedFileVersion(common::ModuleFileName(nullptr), &info))
        return false;
    parts[0] = HIWORD(info.dwFileVersionMS);
    parts[1] = LOWORD(info.dwFileVersionMS);
    parts[2] = HIWORD(info.dwFileVersionLS);
    parts[3] = LOWORD(info.dwFileVersionLS);
    return true;
}

}  // namespace

CLog::CLog() = default;

CLog::~CLog()
{
    DoneLog();
}

void CLog::_Close()
{
    if (m_full)
        std::fclose(m_full);
    if (m_err)
        std::fclose(m_err);
    m_full = m_err = nullptr;
}

void CLog::InitLog(const char* errLogPath, const char* fullLogPath, int level)
{
    _Close();
    std::free(m_errPath);
    std::free(m_fullPath);
    m_errPath = DupText(errLogPath);
    m_fullPath = DupText(fullLogPath);
    if (m_errPath) {
        TrimFile(m_errPath, kErrLogLimit);
        m_err = std::fopen(m_errPath, "a");
    }
    if (m_fullPath) {
        TrimFile(m_fullPath, kFullLogLimit);
        m_full = std::fopen(m_fullPath, "a");
    }
    m_level = level;

    WORD v[4];
    if (ProgramVersion(v))
        LogInf(2, "InitLog", "Version = %d.%d.%d.%d", v[0], v[1], v[2], v[3]);
}

void CLog::DoneLog()
{
    if (m_full)
        LogInf(2, "DoneLog", "\n\n");
    _Close();
    std::free(m_errPath);
    std::free(m_fullPath);
    m_errPath = m_fullPath = nullptr;
}

void CLog::GetFullLogPath(char* buffer, size_t bufferSize) const
{
    common::CopyBounded(buffer, bufferSize, m_fullPath ? m_fullPath : "");
}

void CLog::_Write(Kind kind, long code, const char* context, const char* format, va_list args)
{
    if (!m_full && !m_err)
        return;

    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char codeText[16] = "";
    if (code != 0)
        common::FormatBounded(codeText, sizeof codeText, "[0x%lx]", static_cast<unsigned long>(code));
    static const char* const kWords[] = {"Inf", "War", "Err"};

    char head[kMaxPart + 1];
    common::FormatBounded(head, sizeof head, "%02d/%02d/%02d %02d:%02d:%02d %s%s in %s: ", t.wDay, t.wMonth,
                          t.wYear, t.wHour, t.wMinute, t.wSecond, kWords[kind], codeText,
                          context ? context : "");
    char message[kMaxPart + 1];
    common::FormatBoundedV(message, sizeof message, format, args);

    if (m_full) {
        std::fprintf(m_full, "%s%s\n", head, message);
        std::fflush(m_full);
    }
    if (m_err && kind != kInf) {
        std::fprintf(m_err, "%s %s%s\n", m_name, head, message);
        std::fflush(m_err);
    }
}

void CLog::LogErr(const char* context, long code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    _Write(kErr, code, context, format, args);
    va_end(args);
}

void CLog::LogWar(const char* context, long code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    _Write(kWar, code, context, format, args);
    va_end(args);
}

void CLog::LogInf(int level, const char* context, const char* format, ...)
{
    if (level > m_level)
        return;
    va_list args;
    va_start(args, format);
    _Write(kInf, 0, context, format, args);
    va_end(args);
}

void CLog::TrimFile(const char* path, long limit)
{
    WIN32_FILE_ATTRIBUTE_DATA attr;
    if (!path || !::GetFileAttributesExA(path, GetFileExInfoStandard, &attr))
        return;
    if (attr.nFileSizeHigh != 0 || static_cast<long>(attr.nFileSizeLow) <= limit)
        return;
    long size = static_cast<long>(attr.nFileSizeLow);

    std::string newPath = common::Format("%s1", path);
    common::CStdioFile in(std::fopen(path, "rb"));
    common::CStdioFile out(std::fopen(newPath.c_str(), "wb"));
    if (!in || !out)
        return;

    // Keep the newer half, starting at a line start.
    long start = size - limit / 2;
    std::fseek(in.get(), start, SEEK_SET);
    char block[4096];
    size_t got = std::fread(block, 1, 4095, in.get());
    long skip = static_cast<long>(got);
    for (size_t i = 0; i + 1 < got; ++i) {
        if (block[i] == '\r' && block[i + 1] == '\n') {
            skip = static_cast<long>(i + 2);
            break;
        }
    }
    if (skip == static_cast<long>(got)) {
        for (size_t i = 0; i < got; ++i) {
            if (block[i] == '\n') {
                skip = static_cast<long>(i + 1);
                break;
            }
        }
    }
    std::fseek(in.get(), start + skip, SEEK_SET);

    bool ok = true;
    while ((got = std::fread(block, 1, sizeof block, in.get())) > 0) {
        if (std::fwrite(block, 1, got, out.get()) != got) {
            ok = false;
            break;
        }
    }
    in.reset();
    if (std::fclose(out.release()) != 0)
        ok = false;
    if (!ok) {
        ::DeleteFileA(newPath.c_str());
        return;
    }
    ::DeleteFileA(path);
    ::MoveFileA(newPath.c_str(), path);
}
