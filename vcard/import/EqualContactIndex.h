// The contacts of the import's target folder, keyed by the six texts the search for equal
// contacts compares: display name, given, middle and family names, prefix and company. Read once
// per run with one table query and kept current as the run adds and deletes contacts, so that
// each card is looked up in constant time instead of by a restriction over the whole folder.
//
// The keys follow the address book's restriction exactly: texts compare by their UTF-16 code
// units (case counts), an empty card text matches a property that is missing or empty, and a
// contact holding one of the six properties in a type other than text matches nothing.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

class CEqualContactIndex {
public:
    static const int kNameFields = 6;
    // The properties of the six texts, in the order callers hand the texts over.
    static const ULONG kTags[kNameFields];

    // Reads the folder's contacts; the index is empty (not loaded) after a failure, which has
    // logged its own error line.
    HRESULT Load(const char* folderId);
    bool IsLoaded() const { return m_loaded; }
    void Clear();

    // The contacts whose six texts match the card's, in the folder's table order. False when the
    // index cannot answer (not loaded, or a card text holding a NUL character, which the
    // restriction compares only up to that character): the caller asks the address book.
    bool Find(const std::wstring* const texts[kNameFields], std::vector<std::string>* ids) const;

    // A contact saved in the folder; a null text is a missing property.
    void Add(const std::string& id, const std::wstring* const values[kNameFields]);
    // A contact deleted from the folder (nothing when the index does not hold it).
    void Remove(const std::string& id);
    size_t Size() const { return m_keyOf.size(); }

private:
    static std::wstring _Key(const std::wstring* const texts[kNameFields]);

    bool m_loaded = false;
    std::unordered_map<std::wstring, std::vector<std::string>> m_byNames;
    std::unordered_map<std::string, std::wstring> m_keyOf;
};
