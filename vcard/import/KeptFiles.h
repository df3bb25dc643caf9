// The import run's counting pass keeps the bytes of the files it read, up to kMaxBytes in all,
// and the import pass takes a file's bytes from here when the file is still the same (size and
// time of its last write): each file is read once.
#pragma once

#include <windows.h>

#include <map>
#include <string>

class CKeptFiles {
public:
    static const size_t kMaxBytes = 64 * 1024 * 1024;

    // Keep keeps only while keeping is on; Clear turns it off and drops whatever is kept.
    void SetKeeping(bool on) { m_keeping = on; }
    void Clear();
    // Keeps the bytes read from the open file at path (*bytes is taken) when there is room.
    void Keep(const std::wstring& path, HANDLE file, std::string* bytes);
    // Takes the kept bytes of path when the open file is still what was kept; false when there
    // are none or it changed (the kept bytes go either way).
    bool Take(const std::wstring& path, HANDLE file, std::string* bytes);

private:
    struct CKeptFile {
        ULONGLONG size = 0;
        FILETIME written = {0, 0};
        std::string bytes;
    };
    bool m_keeping = false;
    size_t m_bytes = 0;
    std::map<std::wstring, CKeptFile> m_files;
};
