// The maker's support library, shipped beside Quillon.exe: the ten exports Quillon binds, with a
// real About box, a problem report a user can send, and context help that opens the program's help
// file on the topic a dialog asks for.
//
// Test hooks (environment variables, read only here; a user never sets them): LIBBRISCO_STANDIN_INITEX_RESULT=<number> makes LibBriscoInitEx
// return that number, so that a start with a failing library can be checked;
// LIBBRISCO_STANDIN_HELP_LOG=<file> makes LibBriscoShowContextHelp add the topic it was asked for
// to that file, one line per call, before it shows help as usual, so that a test can tell which
// topic a Help button asked for.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/guard.h"
#include "common/raii.h"
#include "common/text.h"
#include "libbrisco/LibBriscoApi.h"

namespace {

LIBBRISCO_LOGPATH_CALLBACK g_logPath = nullptr;
const char kCaption[] = "Brisco Support";

std::string VersionString(const std::string& file, const char* field)
{
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (!size)
        return std::string();
    std::string block(size, '\0');
    if (!::GetFileVersionInfoA(file.c_str(), 0, size, &block[0]))
        return std::string();
    char* value = nullptr;
    UINT len = 0;
    std::string query = std::string("\\StringFileInfo\\040904b0\\") + field;
    if (!::VerQueryValueA(&block[0], query.c_str(), reinterpret_cast<void**>(&value), &len) || !value)
        return std::string();
    return std::string(value, strnlen(value, len));
}

std::string ProgramFile(HINSTANCE instance)
{
    return common::ModuleFileName(instance);
}

std::string WindowsVersion()
{
    // GetVersionEx is deprecated but is still what tells the running system's numbers.
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExA(&v);
#pragma GCC diagnostic pop
    return common::Format("Windows %lu.%lu build %lu %s", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber,
                          v.szCSDVersion);
}

// The last bytes of a text file, starting at a line start.
std::string Tail(const std::string& path, long maxBytes)
{
    common::CStdioFile f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return "(not found)\r\n";
    std::fseek(f.get(), 0, SEEK_END);
    long size = std::ftell(f.get());
    long start = size > maxBytes ? size - maxBytes : 0;
    std::fseek(f.get(), start, SEEK_SET);
    std::string text(static_cast<size_t>(size - start), '\0');
    size_t got = std::fread(&text[0], 1, text.size(), f.get());
    text.resize(got);
    if (start > 0) {
        size_t nl = text.find('\n');
        text.erase(0, nl == std::string::npos ? 0 : nl + 1);
    }
    return text;
}

// Adds "<topic>\r\n" to the file named by LIBBRISCO_STANDIN_HELP_LOG, when it is set.
void RecordHelpTopic(const char* topic)
{
    char path[MAX_PATH] = "";
    DWORD length = ::GetEnvironmentVariableA("LIBBRISCO_STANDIN_HELP_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    common::CStdioFile f(std::fopen(path, "ab"));
    if (!f)
        return;
    std::string line = std::string(topic ? topic : "") + "\r\n";
    std::fwrite(line.data(), 1, line.size(), f.get());
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI LibBriscoInitEx(HINSTANCE instance, LIBBRISCO_INIT* block)
{
    return common::Guard<int>("LibBriscoInitEx", -1, [&]() -> int {
        char forced[32];
        // A value that does not fit leaves the buffer unwritten: it forces nothing.
        DWORD length = ::GetEnvironmentVariableA("LIBBRISCO_STANDIN_INITEX_RESULT", forced, sizeof forced);
        if (length > 0 && length < sizeof forced)
            return std::atoi(forced);
        if (!block || block->cbSize != sizeof(LIBBRISCO_INIT) || block->dwMagic != LIBBRISCO_INIT_MAGIC)
            return -1;
        g_logPath = block->bHasLogPath ? block->pfnLogPath : nullptr;
        return 0;
    });
}

__declspec(dllexport) int WINAPI LibBriscoShowAbout(HINSTANCE instance)
{
    return common::Guard<int>("LibBriscoShowAbout", -1, [&]() -> int {
        std::string file = ProgramFile(instance);
        std::string product = VersionString(file, "ProductName");
        std::string version = VersionString(file, "ProductVersion");
        std::string company = VersionString(file, "CompanyName");
        std::string text = common::Format("%s\nVersion %s\n\nCopyright (c) %s", product.c_str(), version.c_str(),
                                          company.c_str());
        std::string caption = "About " + product;
        ::MessageBoxA(::GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
        return 0;
    });
}

__declspec(dllexport) int WINAPI LibBriscoReportProblem(HINSTANCE instance)
{
    return common::Guard<int>("LibBriscoReportProblem", -1, [&]() -> int {
        char logPath[LIBBRISCO_LOG_PATH_SIZE] = "";
        if (g_logPath)
            g_logPath(logPath);
        logPath[LIBBRISCO_LOG_PATH_SIZE - 1] = '\0';

        std::string file = ProgramFile(instance);
        std::string folder = logPath[0] ? common::FolderOf(std::string(logPath)) : common::FolderOf(file);
        std::string report = folder + "\\ProblemReport.txt";
        std::string errPath = logPath[0] ? std::string(logPath) : std::string();
        if (errPath.size() > 4 && errPath.compare(errPath.size() - 4, 4, ".log") == 0)
            errPath.replace(errPath.size() - 4, 4, ".err");

        std::string body;
        body += "Problem report for " + VersionString(file, "ProductName") + " " +
                VersionString(file, "ProductVersion") + "\r\n";
        body += "Program: " + file + "\r\n";
        body += "System: " + WindowsVersion() + "\r\n\r\n";
        body += "Describe what you did and what happened:\r\n\r\n\r\n";
        if (!errPath.empty())
            body += "--- " + errPath + " ---\r\n" + Tail(errPath, 16384) + "\r\n";
        if (logPath[0])
            body += "--- " + std::string(logPath) + " ---\r\n" + Tail(logPath, 32768) + "\r\n";

        common::CStdioFile out(std::fopen(report.c_str(), "wb"));
        bool written = out && std::fwrite(body.data(), 1, body.size(), out.get()) == body.size();
        if (out && std::fclose(out.release()) != 0)
            written = false;
        std::string text = written ? "A problem report was written to\n" + report +
                                         "\n\nPlease add what happened and send it to Brisco support."
                                   : "The problem report could not be written to\n" + report;
        ::MessageBoxA(::GetActiveWindow(), text.c_str(), kCaption, MB_OK | (written ? MB_ICONINFORMATION : MB_ICONERROR));
        return written ? 0 : -1;
    });
}

__declspec(dllexport) int WINAPI LibBriscoShowContextHelp(HINSTANCE instance, const char* topic)
{
    return common::Guard<int>("LibBriscoShowContextHelp", -1, [&]() -> int {
        RecordHelpTopic(topic);
        std::string folder = common::FolderOf(ProgramFile(instance));
        std::string product = VersionString(ProgramFile(instance), "ProductName");
        std::string chm = folder + "\\" + (product.empty() ? std::string("Quillon") : product) + ".chm";
        if (::GetFileAttributesA(chm.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ::MessageBoxA(::GetActiveWindow(), "Help is not installed.", kCaption, MB_OK | MB_ICONINFORMATION);
            return -1;
        }
        // The install folder holds blanks ("Program Files"): unquoted, the viewer would take its
        // first word for the file.
        std::string target = "\"" + chm + "::/" + (topic ? topic : "") + "\"";
        ::ShellExecuteA(::GetActiveWindow(), "open", "hh.exe", target.c_str(), nullptr, SW_SHOWNORMAL);
        return 0;
    });
}

// The rest are part of the library's interface; Quillon binds but never calls them.
__declspec(dllexport) int WINAPI LibBriscoAddAboutMenu(HINSTANCE, HMENU menu)
{
    return menu ? 0 : -1;
}
__declspec(dllexport) int WINAPI LibBriscoCreateLog(HINSTANCE, const char* path)
{
    return path ? 0 : -1;
}
__declspec(dllexport) int WINAPI LibBriscoInit(HINSTANCE)
{
    return 0;
}
__declspec(dllexport) int WINAPI LibBriscoInitComplete(HINSTANCE)
{
    return 0;
}
__declspec(dllexport) int WINAPI LibBriscoLogMsg(HINSTANCE, const char* message)
{
    if (message)
        ::OutputDebugStringA(message);
    return 0;
}
__declspec(dllexport) int WINAPI LibBriscoLogMsgEx(HINSTANCE, int, const char* message)
{
    if (message)
        ::OutputDebugStringA(message);
    return 0;
}

}  // extern "C"
