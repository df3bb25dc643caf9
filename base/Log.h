// The program's two log files: main.log gets every line written, main.err only warnings and
// errors. Every line is flushed at once so that both files are complete if the program dies.
#pragma once

#include <cstdio>

class CLog {
public:
    // Limits above which InitLog cuts a file to its newer half.
    static const long kErrLogLimit = 0x20000;
    static const long kFullLogLimit = 0xE0000;
    // Head and message of a line are each cut to this many characters.
    static const int kMaxPart = 511;

    CLog();
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    void InitLog(const char* errLogPath, const char* fullLogPath, int level);
    void LogErr(const char* context, long code, const char* format, ...)
        __attribute__((format(gnu_printf, 4, 5)));
    void LogWar(const char* context, long code, const char* format, ...)
        __attribute__((format(gnu_printf, 4, 5)));
    void LogInf(int level, const char* context, const char* format, ...)
        __attribute__((format(gnu_printf, 4, 5)));
    void DoneLog();

    // Copies the full log's path into a caller's buffer of bufferSize bytes (cut to fit).
    void GetFullLogPath(char* buffer, size_t bufferSize) const;
    int Level() const { return m_level; }

    // Cuts a file larger than limit to the text after the first line end that follows
    // size - limit/2. Used by InitLog; public so that it can be checked on its own.
    static void TrimFile(const char* path, long limit);

private:
    enum Kind { kInf, kWar, kErr };
    void _Write(Kind kind, long code, const char* context, const char* format, va_list args);
    void _Close();

    char m_name[1] = {""};
    char* m_fullPath = nullptr;
    char* m_errPath = nullptr;
    FILE* m_full = nullptr;
    FILE* m_err = nullptr;
    int m_level = 1;
};

extern CLog g_log;

// A failed consistency check is logged as an error with the line number, and the program goes on.
#define QUILLON_ASSERT(cond, context)                                   \
    do {                                                                \
        if (!(cond))                                                    \
            g_log.LogErr((context), 0, "ASSERT failed in line %d", __LINE__); \
    } while (0)
