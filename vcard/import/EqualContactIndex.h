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

#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
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

    // A contact saved in the folder, with the address book's own texts; a null text is a missing
    // property.
    void Add(const std::string& id, const wchar_t* const values[kNameFields]);
    // A contact deleted from the folder (nothing when the index does not hold it).
    void Remove(const std::string& id);
    size_t Size() const { return m_maps->keyOf.size(); }

    CEqualContactIndex();
    ~CEqualContactIndex();
    CEqualContactIndex(const CEqualContactIndex&) = delete;
    CEqualContactIndex& operator=(const CEqualContactIndex&) = delete;

private:
    // The index's keys and identifiers live in a pool of their own, not among the short-lived
    // blocks of the run: under Wine every allocation walks the free blocks of its heap, and a
    // hundred thousand contacts held among them left holes that made each later card slower.
    struct CMaps {
        explicit CMaps(std::pmr::memory_resource* pool) : byNames(pool), keyOf(pool), key(pool) {}
        std::pmr::unordered_map<std::pmr::wstring, std::pmr::vector<std::pmr::string>> byNames;
        std::pmr::unordered_map<std::pmr::string, std::pmr::wstring> keyOf;
        std::pmr::wstring key;  // the last key made, its room kept for the next
    };
    // The six texts as one key, into m_maps->key (a missing text is the empty text).
    void _MakeKey(const std::wstring_view texts[kNameFields]) const;

    bool m_loaded = false;
    std::pmr::unsynchronized_pool_resource m_pool;
    std::unique_ptr<CMaps> m_maps;
};
