#include "mailaddin/Debug.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "common/raii.h"
#include "common/text.h"
#include "mailaddin/WinReg.h"

namespace gimlet {

// ---- the current error ----------------------------------------------------------------------

// One for the process: every handler of the add-in runs on the mail client's one thread.
CErr& Err()
{
    static CErr err;
    return err;
}

void CErr::Raise(long number, const std::string& description)
{
    Number = number;
    Description = description;
    LastDllError = ::GetLastError();
    Erl = 0;
}

void CErr::FromHResult(HRESULT hr)
{
    DWORD lastError = ::GetLastError();
    std::string description;
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, &info) == S_OK && info) {
        common::CBstr text;
        if (SUCCEEDED(info->GetDescription(text.put())) && text)
            description = common::WideToAnsi(text.get(), ::SysStringLen(text.get()));
    }
    if (description.empty()) {
        common::CLocalMem buffer;
        DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(buffer.put()), 0, nullptr);
        if (n && buffer) {
            description.assign(static_cast<const char*>(buffer.get()), n);
            while (!description.empty() && (description.back() == '\r' || description.back() == '\n' ||
                                            description.back() == ' ' || description.back() == '.'))
                description.pop_back();
        }
    }
    if (description.empty())
        description = "Automation error";
    Number = static_cast<long>(hr);
    Description = description;
    LastDllError = lastError;
    Erl = 0;
}

void CErr::Clear()
{
    Number = 0;
    Description.clear();
    LastDllError = 0;
    Erl = 0;
}

std::string AddinFolder()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&AddinFolder), &module);
    return common::FolderOf(common::ModuleFileName(module));
}

// ---- the log ------------------------------------------------------------------------------

namespace {

SYSTEMTIME SystemClock()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now;
}

CDebug::Clock g_clock = &SystemClock;

float SecondsSinceMidnight(const SYSTEMTIME& t)
{
    return static_cast<float>(t.wHour * 3600 + t.wMinute * 60 + t.wSecond) + static_cast<float>(t.wMilliseconds) / 1000.0f;
}

// The system's general date text: the short date, a space and the time.
std::string GeneralDate(const SYSTEMTIME& t)
{
    DATE date = 0;
    if (!::SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&t), &date))
        return std::string();
    common::CBstr text;
    if (FAILED(::VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, text.put())))
        return std::string();
    return common::WideToAnsi(text.get(), ::SysStringLen(text.get()));
}

// A list handed on whole as the first argument stands for its elements, however deep.
CParams Unwrap(const CParams& params)
{
    CParams list = params;
    while (!list.empty() && list[0].IsList())
        list = list[0].Items();
    return list;
}

}  // namespace

std::string SingleText(float value)
{
    common::CBstr text;
    if (FAILED(::VarBstrFromR4(value, LOCALE_USER_DEFAULT, 0, text.put())))
        return std::string();
    return common::WideToAnsi(text.get(), ::SysStringLen(text.get()));
}

std::unique_ptr<CDebug> CDebug::s_instance;

CDebug& CDebug::Instance()
{
    if (!s_instance)
        s_instance.reset(new CDebug(FindLogFolder()));
    return *s_instance;
}

void CDebug::ReleaseInstance() { s_instance.reset(); }

void CDebug::SetClock(Clock clock) { g_clock = clock ? clock : &SystemClock; }

std::string CDebug::FindLogFolder()
{
    CWinReg reg;
    std::string folder;
    if (reg.InitForRead(CWinReg::KeyCurrentUser(),
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")) {
        folder = reg.GetString("AppData");
        reg.Close();
    }
    if (folder.empty())
        return AddinFolder();
    ::CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\Brisco";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\Quillon";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

CDebug::CDebug(const std::string& logFolder) : m_logFolder(logFolder)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::string file = LogFile();
    if (::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) {
        long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > kMaxLogSize)
            ::DeleteFileA(file.c_str());
    }
}

CDebug::~CDebug()
{
    // Runs when the add-in goes, inside the mail client's Release: a line that finds no memory is lost.
    if (m_TimerCount != 0) {
        try {
            Out("Warning - CDebug.m_TimerCount <> 0!");
        } catch (...) {
        }
    }
}

void CDebug::_Write(const std::string& text)
{
    if (!(m_target & 2))
        return;
    std::string line = GeneralDate(g_clock()) + " " + m_indent + text + "\r\n";
    std::string file = LogFile();
    common::CFileHandle handle(::CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        return;
    DWORD written = 0;
    ::WriteFile(handle.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void CDebug::OutList(const CParams& params)
{
    std::string text;
    CParams list = Unwrap(params);
    for (size_t i = 0; i < list.size(); ++i) {
        std::string part;
        VarText(list[i].get(), &part);  // a value without text adds nothing
        if (i > 0)
            text += " ";
        text += part;
    }
    _Write(text);
}

std::string CDebug::sprintf(const std::string& strFormat, const CParams& arrParams)
{
    CParams args = Unwrap(arrParams);
    std::string result;
    size_t next = 0;
    size_t pos = 0;
    // Visual Basic's own errors for the two ways formatting can fail.
    auto fail = [&](long number, const char* description) {
        Err().Raise(number, description);
        OutError("CDebug.sprintf('" + strFormat + "')");
        return std::string();
    };
    for (;;) {
        size_t percent = strFormat.find('%', pos);
        if (percent == std::string::npos) {
            if (pos < strFormat.size())
                result += strFormat.substr(pos);
            break;
        }
        result += strFormat.substr(pos, percent - pos);
        std::string letter = percent + 1 < strFormat.size() ? strFormat.substr(percent + 1, 1) : std::string();
        if (letter == "%") {
            result += "%";
        } else if (letter == "s") {
            if (next >= args.size())
                return fail(9, "Subscript out of range");
            const VARIANT& v = args[next++].get();
            if (v.vt != VT_BSTR)
                OutWarning("CDebug.out", "VarType(" + std::to_string(v.vt) + ") <> vbString" ", Typename = " +
                                             VarTypeName(v));
            std::string text;
            if (!VarText(v, &text))
                return fail(13, "Type mismatch");
            result += text;
        } else if (letter == "d") {
            if (next >= args.size())
                return fail(9, "Subscript out of range");
            const VARIANT& v = args[next++].get();
            if (!VarIsNumeric(v))
                OutWarning("CDebug.out", "Not IsNumeric(" + std::to_string(v.vt) + ")" ", Typename = " +
                                             VarTypeName(v));
            VARIANT number;
            ::VariantInit(&number);
            HRESULT hr = ::VariantChangeTypeEx(&number, const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, 0, VT_I4);
            if (hr == DISP_E_OVERFLOW)
                return fail(6, "Overflow");
            if (FAILED(hr))
                return fail(13, "Type mismatch");
            result += std::to_string(number.lVal);
        } else {
            OutWarning("CDebug.out", "Invalid format specificator(" + letter + ")");
        }
        pos = percent + 2;
    }
    return result;
}

void CDebug::Assert(bool bTrue, const std::string& sWhere, const std::string& sAssert)
{
    if (!bTrue)
        Out("ERROR - ASSERT FAILED: " + sWhere + "\t" + sAssert + " = FALSE");
}

void CDebug::OutError(const std::string& strWhere)
{
    CErr& err = Err();
    Out("Error(" + std::to_string(err.Number) + ") : " + strWhere + ",line=" + std::to_string(err.Erl) + "\t" +
        err.Description);
    err.Clear();
}

void CDebug::OutLastDllError(const std::string& sWhere)
{
    CErr& err = Err();
    Out("DllError(" + std::to_string(err.LastDllError) + ") : " + sWhere);
    err.Clear();
}

void CDebug::OutCustomError(const std::string& strWhere, const std::string& strDesc)
{
    Out("Error(custom) : " + strWhere + "\t" + strDesc);
}

void CDebug::OutWarning(const std::string& strWhere, const std::string& strWhat)
{
    Out("Warning : " + strWhere + "\t" + strWhat);
}

void CDebug::OutCall(const CParams& param)
{
    CParams list = Unwrap(param);
    std::string text = "Call ";
    if (!list.empty()) {
        std::string name;
        VarText(list[0].get(), &name);
        text += name;
    }
    text += "(";
    for (size_t i = 1; i < list.size(); ++i) {
        std::string part;
        VarText(list[i].get(), &part);
        if (i > 1)
            text += ", ";
        text += VarIsNumeric(list[i].get()) ? part : "'" + part + "'";
    }
    text += ")";
    Out(text);
}

void CDebug::StartTimer()
{
    if (m_TimerCount >= kMaxTimers) {
        Out("Warning CDebug.StartTimer can't run");
        return;
    }
    m_timers[m_TimerCount++] = SecondsSinceMidnight(g_clock());
}

void CDebug::EndTimer(const std::string& strMessage)
{
    if (m_TimerCount == 0) {
        Out("Warning: CDebug::EndTimer can't run");
        return;
    }
    float elapsed = SecondsSinceMidnight(g_clock()) - m_timers[m_TimerCount - 1];
    Out2("  " + strMessage + " timing : " + SingleText(elapsed));
    --m_TimerCount;
}

void CDebug::PushTab() { m_indent += "    "; }

void CDebug::PopTab()
{
    if (m_indent.size() >= 4)
        m_indent.resize(m_indent.size() - 4);
}

}  // namespace gimlet
