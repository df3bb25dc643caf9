// Points the program's log at a scratch folder for one test and gives back what was written,
// without the time stamps, so that log lines can be compared as whole texts.
#pragma once

#include <string>

#include "base/Log.h"
#include "support/testsupport.h"

class CLogCapture {
public:
    CLogCapture()
    {
        g_log.InitLog(m_dir.file("main.err").c_str(), m_dir.file("main.log").c_str(), 1);
    }
    ~CLogCapture() { g_log.InitLog(nullptr, nullptr, 1); }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    // The full log so far, each line without its "dd/mm/yyyy hh:mm:ss " head.
    std::string Lines() const
    {
        std::string out;
        for (std::string line : testsupport::SplitLines(testsupport::ReadFileBytes(m_dir.file("main.log")), "\n")) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // A head is 19 characters and a blank; continuation lines of a message have none.
            if (line.size() > 20 && line[2] == '/' && line[5] == '/' && line[13] == ':')
                line = line.substr(20);
            out += line + "\n";
        }
        return out;
    }

    // Forgets what was written so far.
    void Clear()
    {
        g_log.InitLog(nullptr, nullptr, 1);
        ::DeleteFileA(m_dir.file("main.log").c_str());
        ::DeleteFileA(m_dir.file("main.err").c_str());
        g_log.InitLog(m_dir.file("main.err").c_str(), m_dir.file("main.log").c_str(), 1);
    }

private:
    testsupport::CTempDir m_dir;
};
