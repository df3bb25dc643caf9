// Values as the add-in's log sees them: each argument travels as the COM VARIANT it would be
// passed as, so that the log's warnings can name its variant type number and type name (8 and
// "String" for a text, 3 and "Long" for a 32-bit integer), and a list of values can be handed on
// whole as one argument.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace gimlet {

class CVar {
public:
    CVar() noexcept { ::VariantInit(&m_v); }
    CVar(int value) noexcept : CVar() { m_v.vt = VT_I4; m_v.lVal = value; }
    CVar(long value) noexcept : CVar() { m_v.vt = VT_I4; m_v.lVal = value; }
    CVar(short value) noexcept : CVar() { m_v.vt = VT_I2; m_v.iVal = value; }
    CVar(unsigned char value) noexcept : CVar() { m_v.vt = VT_UI1; m_v.bVal = value; }
    CVar(float value) noexcept : CVar() { m_v.vt = VT_R4; m_v.fltVal = value; }
    CVar(double value) noexcept : CVar() { m_v.vt = VT_R8; m_v.dblVal = value; }
    CVar(bool value) noexcept : CVar() { m_v.vt = VT_BOOL; m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; }
    CVar(const char* text);               // ANSI text
    CVar(const std::string& text) : CVar(text.c_str()) {}
    CVar(const wchar_t* text);
    CVar(const std::wstring& text);
    CVar(const std::vector<CVar>& list);  // a list of values: VT_ARRAY | VT_VARIANT
    explicit CVar(const VARIANT& v);      // a copy
    static CVar Null() noexcept;

    CVar(const CVar& other);
    CVar& operator=(const CVar& other);
    CVar(CVar&& other) noexcept;
    CVar& operator=(CVar&& other) noexcept;
    ~CVar() { ::VariantClear(&m_v); }

    const VARIANT& get() const noexcept { return m_v; }
    VARTYPE Type() const noexcept { return m_v.vt; }
    bool IsList() const noexcept { return m_v.vt == (VT_ARRAY | VT_VARIANT) && m_v.parray; }
    std::vector<CVar> Items() const;  // the elements of a list; empty for anything else

private:
    VARIANT m_v;
};

using CParams = std::vector<CVar>;

// The standard text of a value (numbers in decimal, Booleans as True/False, "" for Empty and
// Null). False when the value has no text (a list, an object).
bool VarText(const VARIANT& v, std::string* text);
// The type's name as Visual Basic's TypeName gives it ("String", "Long", "Variant()").
std::string VarTypeName(const VARIANT& v);
// Numbers, Booleans, Empty and texts that read as a number.
bool VarIsNumeric(const VARIANT& v);

}  // namespace gimlet
