#include "mailaddin/Variant.h"

#include <utility>

#include "common/text.h"

namespace gimlet {

CVar::CVar(const char* text) : CVar(common::AnsiToWide(text ? text : "")) {}

CVar::CVar(const wchar_t* text) : CVar(std::wstring(text ? text : L"")) {}

CVar::CVar(const std::wstring& text) : CVar()
{
    m_v.bstrVal = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    m_v.vt = m_v.bstrVal ? VT_BSTR : VT_EMPTY;
}

CVar::CVar(const std::vector<CVar>& list) : CVar()
{
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(list.size()));
    if (!array)
        return;
    for (LONG i = 0; i < static_cast<LONG>(list.size()); ++i)
        ::SafeArrayPutElement(array, &i, const_cast<VARIANT*>(&list[i].get()));
    m_v.vt = VT_ARRAY | VT_VARIANT;
    m_v.parray = array;
}

CVar::CVar(const VARIANT& v) : CVar() { ::VariantCopy(&m_v, const_cast<VARIANT*>(&v)); }

CVar CVar::Null() noexcept
{
    CVar v;
    v.m_v.vt = VT_NULL;
    return v;
}

CVar::CVar(const CVar& other) : CVar() { ::VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v)); }

CVar& CVar::operator=(const CVar& other)
{
    if (this != &other)
        ::VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v));
    return *this;
}

CVar::CVar(CVar&& other) noexcept : m_v(other.m_v) { ::VariantInit(&other.m_v); }

CVar& CVar::operator=(CVar&& other) noexcept
{
    if (this != &other) {
        ::VariantClear(&m_v);
        m_v = other.m_v;
        ::VariantInit(&other.m_v);
    }
    return *this;
}

std::vector<CVar> CVar::Items() const
{
    std::vector<CVar> items;
    if (!IsList())
        return items;
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(m_v.parray, 1, &lower);
    ::SafeArrayGetUBound(m_v.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        CVar item;
        VARIANT element;
        ::VariantInit(&element);
        if (SUCCEEDED(::SafeArrayGetElement(m_v.parray, &i, &element))) {
            item = CVar(element);
            ::VariantClear(&element);
        }
        items.push_back(std::move(item));
    }
    return items;
}

bool VarText(const VARIANT& v, std::string* text)
{
    text->clear();
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_BSTR:
        *text = common::WideToAnsi(v.bstrVal, ::SysStringLen(v.bstrVal));
        return true;
    default:
        break;
    }
    if (v.vt & (VT_ARRAY | VT_BYREF) || v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN)
        return false;
    VARIANT converted;
    ::VariantInit(&converted);
    if (FAILED(::VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
        return false;
    *text = common::WideToAnsi(converted.bstrVal, ::SysStringLen(converted.bstrVal));
    ::VariantClear(&converted);
    return true;
}

std::string VarTypeName(const VARIANT& v)
{
    static const struct {
        VARTYPE vt;
        const char* name;
    } names[] = {
        {VT_EMPTY, "Empty"},     {VT_NULL, "Null"},       {VT_I2, "Integer"},  {VT_I4, "Long"},
        {VT_R4, "Single"},       {VT_R8, "Double"},       {VT_CY, "Currency"}, {VT_DATE, "Date"},
        {VT_BSTR, "String"},     {VT_DISPATCH, "Object"}, {VT_ERROR, "Error"}, {VT_BOOL, "Boolean"},
        {VT_VARIANT, "Variant"}, {VT_UNKNOWN, "Unknown"}, {VT_DECIMAL, "Decimal"}, {VT_UI1, "Byte"},
        {VT_I8, "LongLong"},
    };
    VARTYPE base = v.vt & VT_TYPEMASK;
    std::string name = "Unknown";
    for (const auto& n : names)
        if (n.vt == base)
            name = n.name;
    if (v.vt & VT_ARRAY)
        name += "()";
    return name;
}

bool VarIsNumeric(const VARIANT& v)
{
    switch (v.vt) {
    case VT_EMPTY:
    case VT_I1: case VT_I2: case VT_I4: case VT_I8:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL:
        return true;
    case VT_BSTR: {
        if (!v.bstrVal || ::SysStringLen(v.bstrVal) == 0)
            return false;
        double d = 0;
        return SUCCEEDED(::VarR8FromStr(v.bstrVal, LOCALE_USER_DEFAULT, 0, &d));
    }
    default:
        return false;
    }
}

}  // namespace gimlet
