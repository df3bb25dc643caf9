#include "standins/wab32/propvalue.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standins/wab32/mapialloc.h"

namespace wabstandin {

const CValue* FindProp(const CProps& props, ULONG propId) noexcept
{
    auto it = std::lower_bound(props.begin(), props.end(), propId,
                               [](const CValue& v, ULONG id) { return PROP_ID(v.tag) < id; });
    if (it != props.end() && PROP_ID(it->tag) == propId)
        return &*it;
    return nullptr;
}

void PutProp(CProps& props, CValue value)
{
    ULONG id = PROP_ID(value.tag);
    auto it = std::lower_bound(props.begin(), props.end(), id,
                               [](const CValue& v, ULONG pid) { return PROP_ID(v.tag) < pid; });
    if (it != props.end() && PROP_ID(it->tag) == id)
        *it = std::move(value);
    else
        props.insert(it, std::move(value));
}

bool RemoveProp(CProps& props, ULONG propId)
{
    auto it = std::lower_bound(props.begin(), props.end(), propId,
                               [](const CValue& v, ULONG id) { return PROP_ID(v.tag) < id; });
    if (it == props.end() || PROP_ID(it->tag) != propId)
        return false;
    props.erase(it);
    return true;
}

ULONG KeptType(ULONG type) noexcept
{
    switch (type) {
    case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_I8: case PT_DOUBLE: case PT_SYSTIME:
    case PT_UNICODE: case PT_BINARY: case PT_CLSID: case PT_MV_UNICODE: case PT_MV_BINARY:
    case PT_MV_LONG:
        return type;
    case PT_STRING8:
        return PT_UNICODE;
    case PT_MV_STRING8:
        return PT_MV_UNICODE;
    default:
        return 0;
    }
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    int len = static_cast<int>(std::strlen(text));
    int n = MultiByteToWideChar(CP_ACP, 0, text, len, nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, len, &out[0], n);
    return out;
}

std::string ToHex(const void* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::string out(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 15];
    }
    return out;
}

namespace {

int HexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

bool FromHex(const char* text, size_t length, std::string& bytes)
{
    bytes.clear();
    if (length % 2)
        return false;
    bytes.reserve(length / 2);
    for (size_t i = 0; i < length; i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    return true;
}

HRESULT FromPropValue(const SPropValue& in, CValue& out)
{
    out = CValue();
    ULONG type = PROP_TYPE(in.ulPropTag);
    ULONG kept = KeptType(type);
    if (!kept)
        return MAPI_E_INVALID_TYPE;
    out.tag = PROP_TAG(kept, PROP_ID(in.ulPropTag));
    switch (type) {
    case PT_I2: out.num = in.Value.i; break;
    case PT_LONG: out.num = in.Value.l; break;
    case PT_BOOLEAN: out.num = in.Value.b ? 1 : 0; break;
    case PT_I8: out.num = in.Value.li.QuadPart; break;
    case PT_DOUBLE: std::memcpy(&out.num, &in.Value.dbl, sizeof(double)); break;
    case PT_SYSTIME:
        out.num = static_cast<LONGLONG>((static_cast<ULONGLONG>(in.Value.ft.dwHighDateTime) << 32) |
                                        in.Value.ft.dwLowDateTime);
        break;
    case PT_UNICODE:
        if (!in.Value.lpszW)
            return MAPI_E_BAD_VALUE;
        out.text = in.Value.lpszW;
        break;
    case PT_STRING8:
        if (!in.Value.lpszA)
            return MAPI_E_BAD_VALUE;
        out.text = FromAnsi(in.Value.lpszA);
        break;
    case PT_BINARY:
        if (in.Value.bin.cb && !in.Value.bin.lpb)
            return MAPI_E_BAD_VALUE;
        out.bytes.assign(reinterpret_cast<const char*>(in.Value.bin.lpb), in.Value.bin.cb);
        break;
    case PT_CLSID:
        if (!in.Value.lpguid)
            return MAPI_E_BAD_VALUE;
        out.bytes.assign(reinterpret_cast<const char*>(in.Value.lpguid), sizeof(GUID));
        break;
    case PT_MV_UNICODE:
        if (in.Value.MVszW.cValues && !in.Value.MVszW.lppszW)
            return MAPI_E_BAD_VALUE;
        for (ULONG i = 0; i < in.Value.MVszW.cValues; ++i) {
            if (!in.Value.MVszW.lppszW[i])
                return MAPI_E_BAD_VALUE;
            out.texts.emplace_back(in.Value.MVszW.lppszW[i]);
        }
        break;
    case PT_MV_STRING8:
        if (in.Value.MVszA.cValues && !in.Value.MVszA.lppszA)
            return MAPI_E_BAD_VALUE;
        for (ULONG i = 0; i < in.Value.MVszA.cValues; ++i) {
            if (!in.Value.MVszA.lppszA[i])
                return MAPI_E_BAD_VALUE;
            out.texts.push_back(FromAnsi(in.Value.MVszA.lppszA[i]));
        }
        break;
    case PT_MV_BINARY:
        if (in.Value.MVbin.cValues && !in.Value.MVbin.lpbin)
            return MAPI_E_BAD_VALUE;
        for (ULONG i = 0; i < in.Value.MVbin.cValues; ++i) {
            const SBinary& b = in.Value.MVbin.lpbin[i];
            if (b.cb && !b.lpb)
                return MAPI_E_BAD_VALUE;
            out.blobs.emplace_back(reinterpret_cast<const char*>(b.lpb), b.cb);
        }
        break;
    case PT_MV_LONG:
        if (in.Value.MVl.cValues && !in.Value.MVl.lpl)
            return MAPI_E_BAD_VALUE;
        out.longs.assign(in.Value.MVl.lpl, in.Value.MVl.lpl + in.Value.MVl.cValues);
        break;
    default:
        return MAPI_E_INVALID_TYPE;
    }
    return S_OK;
}

void ErrorValue(ULONG tag, HRESULT code, SPropValue& out) noexcept
{
    std::memset(&out, 0, sizeof out);
    out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
    out.Value.err = code;
}

namespace {

HRESULT CopyBytes(const void* data, size_t size, void* parent, void** out)
{
    *out = nullptr;
    HRESULT hr = AllocMore(static_cast<ULONG>(size ? size : 1), parent, out);
    if (FAILED(hr))
        return hr;
    if (size)
        std::memcpy(*out, data, size);
    return S_OK;
}

HRESULT CopyWide(const std::wstring& s, void* parent, LPWSTR* out)
{
    void* mem = nullptr;
    HRESULT hr = CopyBytes(s.c_str(), (s.size() + 1) * sizeof(WCHAR), parent, &mem);
    *out = static_cast<LPWSTR>(mem);
    return hr;
}

HRESULT CopyAnsi(const std::wstring& s, void* parent, LPSTR* out)
{
    std::string a = ToAnsi(s);
    void* mem = nullptr;
    HRESULT hr = CopyBytes(a.c_str(), a.size() + 1, parent, &mem);
    *out = static_cast<LPSTR>(mem);
    return hr;
}

}  // namespace

HRESULT ToPropValue(const CValue& value, ULONG wantedTag, bool unicode, void* parent, SPropValue& out)
{
    std::memset(&out, 0, sizeof out);
    ULONG kept = PROP_TYPE(value.tag);
    ULONG wanted = PROP_TYPE(wantedTag);
    if (wanted == PT_UNSPECIFIED) {
        wanted = kept;
        if (kept == PT_UNICODE && !unicode)
            wanted = PT_STRING8;
        if (kept == PT_MV_UNICODE && !unicode)
            wanted = PT_MV_STRING8;
    }
    bool fits = wanted == kept || (kept == PT_UNICODE && wanted == PT_STRING8) ||
                (kept == PT_MV_UNICODE && wanted == PT_MV_STRING8);
    if (!fits)
        return MAPI_E_NOT_FOUND;
    out.ulPropTag = PROP_TAG(wanted, PROP_ID(value.tag));
    HRESULT hr = S_OK;
    void* mem = nullptr;
    switch (wanted) {
    case PT_I2: out.Value.i = static_cast<short>(value.num); break;
    case PT_LONG: out.Value.l = static_cast<LONG>(value.num); break;
    case PT_BOOLEAN: out.Value.b = value.num ? 1 : 0; break;
    case PT_I8: out.Value.li.QuadPart = value.num; break;
    case PT_DOUBLE: std::memcpy(&out.Value.dbl, &value.num, sizeof(double)); break;
    case PT_SYSTIME:
        out.Value.ft.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value.num));
        out.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value.num) >> 32);
        break;
    case PT_UNICODE: hr = CopyWide(value.text, parent, &out.Value.lpszW); break;
    case PT_STRING8: hr = CopyAnsi(value.text, parent, &out.Value.lpszA); break;
    case PT_BINARY:
        hr = CopyBytes(value.bytes.data(), value.bytes.size(), parent, &mem);
        out.Value.bin.cb = static_cast<ULONG>(value.bytes.size());
        out.Value.bin.lpb = static_cast<LPBYTE>(mem);
        break;
    case PT_CLSID:
        hr = CopyBytes(value.bytes.data(), value.bytes.size(), parent, &mem);
        out.Value.lpguid = static_cast<LPGUID>(mem);
        break;
    case PT_MV_UNICODE: {
        hr = AllocMore(static_cast<ULONG>((value.texts.size() + 1) * sizeof(LPWSTR)), parent, &mem);
        if (FAILED(hr))
            break;
        LPWSTR* list = static_cast<LPWSTR*>(mem);
        for (size_t i = 0; i < value.texts.size() && SUCCEEDED(hr); ++i)
            hr = CopyWide(value.texts[i], parent, &list[i]);
        out.Value.MVszW.cValues = static_cast<ULONG>(value.texts.size());
        out.Value.MVszW.lppszW = list;
        break;
    }
    case PT_MV_STRING8: {
        hr = AllocMore(static_cast<ULONG>((value.texts.size() + 1) * sizeof(LPSTR)), parent, &mem);
        if (FAILED(hr))
            break;
        LPSTR* list = static_cast<LPSTR*>(mem);
        for (size_t i = 0; i < value.texts.size() && SUCCEEDED(hr); ++i)
            hr = CopyAnsi(value.texts[i], parent, &list[i]);
        out.Value.MVszA.cValues = static_cast<ULONG>(value.texts.size());
        out.Value.MVszA.lppszA = list;
        break;
    }
    case PT_MV_BINARY: {
        hr = AllocMore(static_cast<ULONG>((value.blobs.size() + 1) * sizeof(SBinary)), parent, &mem);
        if (FAILED(hr))
            break;
        SBinary* list = static_cast<SBinary*>(mem);
        for (size_t i = 0; i < value.blobs.size() && SUCCEEDED(hr); ++i) {
            void* b = nullptr;
            hr = CopyBytes(value.blobs[i].data(), value.blobs[i].size(), parent, &b);
            list[i].cb = static_cast<ULONG>(value.blobs[i].size());
            list[i].lpb = static_cast<LPBYTE>(b);
        }
        out.Value.MVbin.cValues = static_cast<ULONG>(value.blobs.size());
        out.Value.MVbin.lpbin = list;
        break;
    }
    case PT_MV_LONG:
        hr = CopyBytes(value.longs.data(), value.longs.size() * sizeof(LONG), parent, &mem);
        out.Value.MVl.cValues = static_cast<ULONG>(value.longs.size());
        out.Value.MVl.lpl = static_cast<LONG*>(mem);
        break;
    default:
        return MAPI_E_NOT_FOUND;
    }
    return hr;
}

bool CoerceForCompare(const CValue& value, ULONG wantedType, CValue& out)
{
    ULONG kept = KeptType(wantedType);
    if (kept != PROP_TYPE(value.tag))
        return false;
    out = value;
    return true;
}

bool CompareValues(const CValue& a, const CValue& b, int* result)
{
    if (PROP_TYPE(a.tag) != PROP_TYPE(b.tag))
        return false;
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (PROP_TYPE(a.tag)) {
    case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_I8:
        *result = sign(a.num, b.num);
        return true;
    case PT_SYSTIME:
        *result = sign(static_cast<ULONGLONG>(a.num), static_cast<ULONGLONG>(b.num));
        return true;
    case PT_DOUBLE: {
        double x, y;
        std::memcpy(&x, &a.num, sizeof x);
        std::memcpy(&y, &b.num, sizeof y);
        *result = sign(x, y);
        return true;
    }
    case PT_UNICODE:
        *result = sign(a.text.compare(b.text), 0);
        return true;
    case PT_BINARY: case PT_CLSID:
        *result = sign(a.bytes.compare(b.bytes), 0);
        return true;
    case PT_MV_UNICODE:
        *result = a.texts == b.texts ? 0 : (a.texts < b.texts ? -1 : 1);
        return true;
    case PT_MV_BINARY:
        *result = a.blobs == b.blobs ? 0 : (a.blobs < b.blobs ? -1 : 1);
        return true;
    case PT_MV_LONG:
        *result = a.longs == b.longs ? 0 : (a.longs < b.longs ? -1 : 1);
        return true;
    default:
        return false;
    }
}

// ---- packed form in memory ----------------------------------------------------------------------

namespace {

void PackU32(std::string& out, size_t v)
{
    ULONG u = static_cast<ULONG>(v);
    out.append(reinterpret_cast<const char*>(&u), sizeof u);
}

// A text: a byte saying how wide its code units are, then the units.
void PackText(std::string& out, const std::wstring& text)
{
    bool narrow = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0xFF; });
    out += narrow ? '\1' : '\2';
    if (narrow) {
        for (wchar_t c : text)
            out += static_cast<char>(static_cast<unsigned char>(c));
    } else {
        out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    }
}

bool IsNumberType(ULONG type) noexcept
{
    return type == PT_I2 || type == PT_LONG || type == PT_BOOLEAN || type == PT_I8 || type == PT_DOUBLE ||
           type == PT_SYSTIME;
}

// Reads what PackU32, PackText and raw bytes wrote, never past the end.
class CPackReader {
public:
    CPackReader(const char* p, const char* end) : m_p(p), m_end(end) {}
    bool AtEnd() const { return m_p == m_end; }
    bool U32(ULONG& v)
    {
        if (m_end - m_p < static_cast<ptrdiff_t>(sizeof v))
            return false;
        std::memcpy(&v, m_p, sizeof v);
        m_p += sizeof v;
        return true;
    }
    bool Bytes(size_t n, std::string& out)
    {
        if (static_cast<size_t>(m_end - m_p) < n)
            return false;
        out.assign(m_p, n);
        m_p += n;
        return true;
    }
    // A text of the given size in bytes, its width byte included.
    bool Text(size_t size, std::wstring& out)
    {
        if (size < 1 || static_cast<size_t>(m_end - m_p) < size)
            return false;
        char width = *m_p++;
        --size;
        if (width == '\1') {
            out.resize(size);
            for (size_t i = 0; i < size; ++i)
                out[i] = static_cast<wchar_t>(static_cast<unsigned char>(m_p[i]));
        } else if (width == '\2' && size % sizeof(wchar_t) == 0) {
            out.resize(size / sizeof(wchar_t));
            std::memcpy(&out[0], m_p, size);
        } else {
            return false;
        }
        m_p += size;
        return true;
    }
    const char* Here() const { return m_p; }
    bool Skip(size_t n)
    {
        if (static_cast<size_t>(m_end - m_p) < n)
            return false;
        m_p += n;
        return true;
    }

private:
    const char* m_p;
    const char* m_end;
};

void PackValue(std::string& out, const CValue& v)
{
    ULONG type = PROP_TYPE(v.tag);
    PackU32(out, v.tag);
    size_t sizeAt = out.size();
    PackU32(out, 0);
    if (IsNumberType(type)) {
        out.append(reinterpret_cast<const char*>(&v.num), sizeof v.num);
    } else if (type == PT_UNICODE) {
        PackText(out, v.text);
    } else if (type == PT_BINARY || type == PT_CLSID) {
        out += v.bytes;
    } else if (type == PT_MV_UNICODE) {
        PackU32(out, v.texts.size());
        for (const auto& t : v.texts) {
            size_t at = out.size();
            PackU32(out, 0);
            PackText(out, t);
            ULONG n = static_cast<ULONG>(out.size() - at - sizeof(ULONG));
            std::memcpy(&out[at], &n, sizeof n);
        }
    } else if (type == PT_MV_BINARY) {
        PackU32(out, v.blobs.size());
        for (const auto& b : v.blobs) {
            PackU32(out, b.size());
            out += b;
        }
    } else if (type == PT_MV_LONG) {
        PackU32(out, v.longs.size());
        out.append(reinterpret_cast<const char*>(v.longs.data()), v.longs.size() * sizeof(LONG));
    }
    ULONG size = static_cast<ULONG>(out.size() - sizeAt - sizeof(ULONG));
    std::memcpy(&out[sizeAt], &size, sizeof size);
}

bool UnpackPayload(ULONG tag, const char* p, size_t size, CValue& out)
{
    out = CValue();
    out.tag = tag;
    ULONG type = PROP_TYPE(tag);
    CPackReader r(p, p + size);
    if (IsNumberType(type)) {
        if (size != sizeof out.num)
            return false;
        std::memcpy(&out.num, p, sizeof out.num);
        return true;
    }
    if (type == PT_UNICODE)
        return r.Text(size, out.text);
    if (type == PT_BINARY || type == PT_CLSID)
        return r.Bytes(size, out.bytes);
    ULONG count = 0;
    if (!r.U32(count))
        return false;
    if (type == PT_MV_LONG) {
        if (size - sizeof count != static_cast<size_t>(count) * sizeof(LONG))
            return false;
        out.longs.resize(count);
        if (count)
            std::memcpy(out.longs.data(), r.Here(), count * sizeof(LONG));
        return true;
    }
    if (type != PT_MV_UNICODE && type != PT_MV_BINARY)
        return false;
    for (ULONG i = 0; i < count; ++i) {
        ULONG n = 0;
        if (!r.U32(n))
            return false;
        if (type == PT_MV_UNICODE) {
            out.texts.emplace_back();
            if (!r.Text(n, out.texts.back()))
                return false;
        } else {
            out.blobs.emplace_back();
            if (!r.Bytes(n, out.blobs.back()))
                return false;
        }
    }
    return r.AtEnd();
}

}  // namespace

std::string PackProps(const CProps& props)
{
    std::string out;
    for (const auto& v : props)
        PackValue(out, v);
    return out;
}

namespace {

// Walks the packed values: see(tag, payload, size) for each; false when the packing is torn
// or see says stop (it returns 1 to go on, 0 to stop with success, -1 to stop with failure).
template <class See>
bool WalkPacked(const char* packed, size_t size, See see)
{
    CPackReader r(packed, packed + size);
    while (!r.AtEnd()) {
        ULONG tag = 0, length = 0;
        if (!r.U32(tag) || !r.U32(length))
            return false;
        const char* payload = r.Here();
        if (!r.Skip(length))
            return false;
        int next = see(tag, payload, length);
        if (next <= 0)
            return next == 0;
    }
    return true;
}

}  // namespace

bool UnpackProps(const char* packed, size_t size, CProps& props)
{
    props.clear();
    return WalkPacked(packed, size, [&](ULONG tag, const char* payload, ULONG length) {
        props.emplace_back();
        return UnpackPayload(tag, payload, length, props.back()) ? 1 : -1;
    });
}

bool UnpackProp(const char* packed, size_t size, ULONG propId, CValue& out)
{
    bool found = false;
    bool whole = WalkPacked(packed, size, [&](ULONG tag, const char* payload, ULONG length) {
        if (PROP_ID(tag) != propId)
            return 1;
        found = UnpackPayload(tag, payload, length, out);
        return found ? 0 : -1;
    });
    return whole && found;
}

// ---- text form in the store file ----------------------------------------------------------------

namespace {

// One string: UTF-8, with '\' '|' and control characters escaped so that a value always stays on
// one line and list items can be split at '|'. Lone surrogates survive as \uXXXX.
void AppendEscaped(std::string& out, const std::wstring& s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned c = s[i];
        if (c == '\\') { out += "\\\\"; continue; }
        if (c == '|') { out += "\\|"; continue; }
        if (c == '\n') { out += "\\n"; continue; }
        if (c == '\r') { out += "\\r"; continue; }
        if (c == '\t') { out += "\\t"; continue; }
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
            continue;
        }
        unsigned cp = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
            continue;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
}

// Reads one escaped string up to end or (when stopAtBar) an unescaped '|'. false on a malformed
// escape or malformed UTF-8.
bool ReadEscaped(const char*& p, const char* end, bool stopAtBar, std::wstring& out)
{
    out.clear();
    // Most values hold no escape: convert the run up to the first '\\' (or '|') in one call.
    const char* run = p;
    while (run < end && *run != '\\' && !(stopAtBar && *run == '|'))
        ++run;
    if (run > p) {
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, static_cast<int>(run - p), nullptr, 0);
        if (n <= 0)
            return false;
        out.resize(n);
        MultiByteToWideChar(CP_UTF8, 0, p, static_cast<int>(run - p), &out[0], n);
        p = run;
    }
    while (p < end) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '|' && stopAtBar)
            return true;
        if (c == '\\') {
            if (p + 1 >= end)
                return false;
            char e = p[1];
            p += 2;
            switch (e) {
            case '\\': out += L'\\'; break;
            case '|': out += L'|'; break;
            case 'n': out += L'\n'; break;
            case 'r': out += L'\r'; break;
            case 't': out += L'\t'; break;
            case 'u': {
                if (end - p < 4)
                    return false;
                unsigned v = 0;
                for (int k = 0; k < 4; ++k) {
                    int d = HexDigit(p[k]);
                    if (d < 0)
                        return false;
                    v = v * 16 + d;
                }
                p += 4;
                out += static_cast<wchar_t>(v);
                break;
            }
            default:
                return false;
            }
            continue;
        }
        unsigned cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else return false;
        if (end - p < extra + 1)
            return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(p[k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        p += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return true;
}

bool ParseLongLong(const std::string& s, LONGLONG& v)
{
    if (s.empty())
        return false;
    char* endp = nullptr;
    errno = 0;
    long long x = std::strtoll(s.c_str(), &endp, 10);
    if (errno || *endp)
        return false;
    v = x;
    return true;
}

// File times as "YYYY-MM-DDThh:mm:ss.fffffff" (UTC, 100-ns digits), or "#<ticks>" for values the
// calendar cannot show.
std::string EncodeTime(LONGLONG ticks)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ticks));
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ticks) >> 32);
    SYSTEMTIME st;
    char buf[64];
    if (ticks >= 0 && FileTimeToSystemTime(&ft, &st)) {
        unsigned fraction = static_cast<unsigned>(static_cast<ULONGLONG>(ticks) % 10000000ULL);
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%07u", st.wYear, st.wMonth,
                      st.wDay, st.wHour, st.wMinute, st.wSecond, fraction);
    } else {
        std::snprintf(buf, sizeof buf, "#%llu", static_cast<unsigned long long>(ticks));
    }
    return buf;
}

bool DecodeTime(const std::string& s, LONGLONG& ticks)
{
    if (!s.empty() && s[0] == '#') {
        char* endp = nullptr;
        errno = 0;
        unsigned long long v = std::strtoull(s.c_str() + 1, &endp, 10);
        if (errno || *endp || s.size() < 2)
            return false;
        ticks = static_cast<LONGLONG>(v);
        return true;
    }
    unsigned y, mo, d, h, mi, sec, fr;
    char tail;
    if (s.size() != 27 || std::sscanf(s.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%7u%c", &y, &mo, &d, &h,
                                      &mi, &sec, &fr, &tail) != 7)
        return false;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    ULONGLONG v = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    ticks = static_cast<LONGLONG>(v + fr);
    return true;
}

std::string GuidText(const std::string& bytes)
{
    GUID g = {};
    std::memcpy(&g, bytes.data(), std::min(bytes.size(), sizeof g));
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

}  // namespace

bool ParseGuidText(const std::string& s, GUID& g)
{
    unsigned long d1;
    unsigned d2, d3, b[8];
    char tail;
    if (s.size() != 38 ||
        std::sscanf(s.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%c", &d1, &d2, &d3, &b[0],
                    &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &tail) != 11)
        return false;
    g.Data1 = d1;
    g.Data2 = static_cast<unsigned short>(d2);
    g.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<unsigned char>(b[i]);
    return true;
}

std::string EncodeValue(const CValue& value)
{
    std::string out;
    char buf[64];
    switch (PROP_TYPE(value.tag)) {
    case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_I8:
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value.num));
        out = buf;
        break;
    case PT_DOUBLE: {
        double d;
        std::memcpy(&d, &value.num, sizeof d);
        std::snprintf(buf, sizeof buf, "%.17g", d);
        out = buf;
        break;
    }
    case PT_SYSTIME: out = EncodeTime(value.num); break;
    case PT_UNICODE: AppendEscaped(out, value.text); break;
    case PT_BINARY: out = ToHex(value.bytes.data(), value.bytes.size()); break;
    case PT_CLSID: out = GuidText(value.bytes); break;
    case PT_MV_UNICODE:
        for (const auto& t : value.texts) {
            out += '|';
            AppendEscaped(out, t);
        }
        break;
    case PT_MV_BINARY:
        for (const auto& b : value.blobs)
            out += "|" + ToHex(b.data(), b.size());
        break;
    case PT_MV_LONG:
        for (LONG l : value.longs) {
            std::snprintf(buf, sizeof buf, "|%ld", static_cast<long>(l));
            out += buf;
        }
        break;
    default:
        break;
    }
    return out;
}

bool DecodeValue(ULONG tag, const char* text, size_t length, CValue& out)
{
    out = CValue();
    out.tag = tag;
    const char* p = text;
    const char* end = text + length;
    ULONG type = PROP_TYPE(tag);
    bool numeric = type == PT_I2 || type == PT_LONG || type == PT_BOOLEAN || type == PT_I8 || type == PT_DOUBLE ||
                   type == PT_SYSTIME || type == PT_CLSID;
    std::string s = numeric ? std::string(text, length) : std::string();
    switch (type) {
    case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_I8:
        return ParseLongLong(s, out.num);
    case PT_DOUBLE: {
        if (s.empty())
            return false;
        char* endp = nullptr;
        double d = std::strtod(s.c_str(), &endp);
        if (*endp)
            return false;
        std::memcpy(&out.num, &d, sizeof d);
        return true;
    }
    case PT_SYSTIME:
        return DecodeTime(s, out.num);
    case PT_UNICODE:
        return ReadEscaped(p, end, false, out.text);
    case PT_BINARY:
        return FromHex(text, length, out.bytes);
    case PT_CLSID: {
        GUID g;
        if (!ParseGuidText(s, g))
            return false;
        out.bytes.assign(reinterpret_cast<const char*>(&g), sizeof g);
        return true;
    }
    case PT_MV_UNICODE:
        while (p < end) {
            if (*p != '|')
                return false;
            ++p;
            std::wstring item;
            if (!ReadEscaped(p, end, true, item))
                return false;
            out.texts.push_back(std::move(item));
        }
        return true;
    case PT_MV_BINARY:
    case PT_MV_LONG:
        while (p < end) {
            if (*p != '|')
                return false;
            ++p;
            const char* q = p;
            while (q < end && *q != '|')
                ++q;
            if (PROP_TYPE(tag) == PT_MV_BINARY) {
                std::string b;
                if (!FromHex(p, q - p, b))
                    return false;
                out.blobs.push_back(std::move(b));
            } else {
                LONGLONG v;
                if (!ParseLongLong(std::string(p, q), v))
                    return false;
                out.longs.push_back(static_cast<LONG>(v));
            }
            p = q;
        }
        return true;
    default:
        return false;
    }
}

}  // namespace wabstandin
