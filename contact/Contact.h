// One open address-book contact seen as typed properties. Nothing is cached unless preloaded:
// every read goes to the address book at once and every write is sent at once (and forgets what
// was preloaded); the entry's owner saves it. The entry
// is borrowed: whoever opened it releases it.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "wab/WABLib.h"

// Contact properties under their published names, as the export reads them and the import
// writes them (the 8-bit forms of the address book's headers are not used for contacts).
namespace contact_tags {
const ULONG kDisplayName = 0x3001001F;
const ULONG kAddrType = 0x3002001F;
const ULONG kEmailAddress = 0x3003001F;
const ULONG kComment = 0x3004001F;
const ULONG kLastModificationTime = 0x30080040;
const ULONG kGivenName = 0x3A06001F;
const ULONG kBusinessTelephoneNumber = 0x3A08001F;
const ULONG kHomeTelephoneNumber = 0x3A09001F;
const ULONG kSurname = 0x3A11001F;
const ULONG kCompanyName = 0x3A16001F;
const ULONG kTitle = 0x3A17001F;
const ULONG kDepartmentName = 0x3A18001F;
const ULONG kOfficeLocation = 0x3A19001F;
const ULONG kMobileTelephoneNumber = 0x3A1C001F;
const ULONG kPagerTelephoneNumber = 0x3A21001F;
const ULONG kBusinessFaxNumber = 0x3A24001F;
const ULONG kHomeFaxNumber = 0x3A25001F;
const ULONG kBusinessAddressCountry = 0x3A26001F;
const ULONG kBusinessAddressCity = 0x3A27001F;
const ULONG kBusinessAddressStateOrProvince = 0x3A28001F;
const ULONG kBusinessAddressStreet = 0x3A29001F;
const ULONG kBusinessAddressPostalCode = 0x3A2A001F;
const ULONG kWeddingAnniversary = 0x3A410040;
const ULONG kBirthday = 0x3A420040;
const ULONG kMiddleName = 0x3A44001F;
const ULONG kDisplayNamePrefix = 0x3A45001F;
const ULONG kSpouseName = 0x3A48001F;
const ULONG kGender = 0x3A4D0002;
const ULONG kNickname = 0x3A4F001F;
const ULONG kPersonalHomePage = 0x3A50001F;
const ULONG kBusinessHomePage = 0x3A51001F;
const ULONG kContactAddrTypes = 0x3A54101F;
const ULONG kContactDefaultAddressIndex = 0x3A550003;
const ULONG kContactEmailAddresses = 0x3A56101F;
const ULONG kChildrensNames = 0x3A58101F;
const ULONG kHomeAddressCity = 0x3A59001F;
const ULONG kHomeAddressCountry = 0x3A5A001F;
const ULONG kHomeAddressPostalCode = 0x3A5B001F;
const ULONG kHomeAddressStateOrProvince = 0x3A5C001F;
const ULONG kHomeAddressStreet = 0x3A5D001F;
// The fields beyond the first table: the generation (a name's suffix), post office boxes, the
// other address, every further telephone, the assistant and manager, and the Digital IDs.
const ULONG kCallbackTelephoneNumber = 0x3A02001F;
const ULONG kGeneration = 0x3A05001F;
const ULONG kPrimaryTelephoneNumber = 0x3A1A001F;
const ULONG kBusiness2TelephoneNumber = 0x3A1B001F;
const ULONG kRadioTelephoneNumber = 0x3A1D001F;
const ULONG kCarTelephoneNumber = 0x3A1E001F;
const ULONG kOtherTelephoneNumber = 0x3A1F001F;
const ULONG kPrimaryFaxNumber = 0x3A23001F;
const ULONG kPostOfficeBox = 0x3A2B001F;
const ULONG kTelexNumber = 0x3A2C001F;
const ULONG kIsdnNumber = 0x3A2D001F;
const ULONG kAssistantTelephoneNumber = 0x3A2E001F;
const ULONG kHome2TelephoneNumber = 0x3A2F001F;
const ULONG kAssistant = 0x3A30001F;
const ULONG kTtyTddPhoneNumber = 0x3A4B001F;
const ULONG kManagerName = 0x3A4E001F;
const ULONG kCompanyMainPhoneNumber = 0x3A57001F;
const ULONG kHomeAddressPostOfficeBox = 0x3A5E001F;
const ULONG kOtherAddressCity = 0x3A5F001F;
const ULONG kOtherAddressCountry = 0x3A60001F;
const ULONG kOtherAddressPostalCode = 0x3A61001F;
const ULONG kOtherAddressStateOrProvince = 0x3A62001F;
const ULONG kOtherAddressStreet = 0x3A63001F;
const ULONG kOtherAddressPostOfficeBox = 0x3A64001F;
const ULONG kUserX509Certificate = 0x3A701102;
}  // namespace contact_tags

class CContact {
public:
    // The set and numeric id of the named property ConferencingServers.
    static const wchar_t kConferencingServersSet[];
    static const LONG kConferencingServersId = 0x8056;

    explicit CContact(IMAPIProp* entry, CWABLib& wab = g_wabLib) : m_entry(entry), m_wab(wab) {}
    ~CContact();
    CContact(const CContact&) = delete;
    CContact& operator=(const CContact&) = delete;

    // Reads the properties of `tags` in one request to the address book; the typed reads of these
    // tags that follow are answered from it exactly as a read of their own would be answered, until
    // the contact is written. Reading a card's forty properties one request at a time cost more
    // than laying out the card. When the request fails, every read goes to the address book.
    [[nodiscard]] HRESULT Preload(const ULONG* tags, ULONG count);

    [[nodiscard]] IMAPIProp* Entry() const { return m_entry; }

    // Typed reads empty their output first; a property the contact lacks returns
    // MAPI_E_NOT_FOUND with the output empty. A tag of another type than the operation handles
    // is logged as a failed check and read or written with the operation's own type.
    [[nodiscard]] HRESULT _GetTextPropW(ULONG tag, std::wstring* value);
    [[nodiscard]] HRESULT _PutTextPropW(ULONG tag, const std::wstring& value);
    [[nodiscard]] HRESULT _GetTextArrayPropW(ULONG tag, std::vector<std::wstring>* values);
    [[nodiscard]] HRESULT _PutTextArrayPropW(ULONG tag, const std::vector<std::wstring>& values);
    [[nodiscard]] HRESULT _GetBinaryArrayProp(ULONG tag, std::vector<std::string>* values);
    [[nodiscard]] HRESULT _PutBinaryArrayProp(ULONG tag, const std::vector<std::string>& values);
    [[nodiscard]] HRESULT _GetDateProp(ULONG tag, FILETIME* value);
    [[nodiscard]] HRESULT _PutDateProp(ULONG tag, const FILETIME& value);

    [[nodiscard]] HRESULT GetGender(SHORT* gender);
    [[nodiscard]] HRESULT PutGender(SHORT gender);
    [[nodiscard]] HRESULT GetDefaultAddressIndex(LONG* index);
    [[nodiscard]] HRESULT PutDefaultAddressIndex(LONG index);

    // Tag (type PT_MV_UNICODE) of ConferencingServers; with create the address book makes the
    // name known when it is new. 0 and the failure code when it cannot be resolved.
    [[nodiscard]] HRESULT GetNamedTag(bool create, ULONG* tag);
    [[nodiscard]] HRESULT GetConferencingServers(std::vector<std::wstring>* servers);

private:
    // A value read for a typed read: one of the preloaded values, or the address book's buffer of a
    // read of its own, which goes with the holder.
    class CReadValue {
    public:
        explicit CReadValue(CWABLib& wab) : m_wab(wab) {}
        ~CReadValue();
        CReadValue(const CReadValue&) = delete;
        CReadValue& operator=(const CReadValue&) = delete;
        const SPropValue* value = nullptr;
        SPropValue* owned = nullptr;

    private:
        CWABLib& m_wab;
    };

    [[nodiscard]] HRESULT _Read(ULONG tag, CReadValue* value);
    [[nodiscard]] HRESULT _Write(const SPropValue& value);
    // Reads tag and hands its value to take; the reason when it cannot be read (take not called).
    template <class Take>
    HRESULT _ReadWith(ULONG tag, Take take)
    {
        CReadValue v(m_wab);
        HRESULT hr = _Read(tag, &v);
        if (SUCCEEDED(hr) && v.value)
            take(v.value->Value);
        return hr;
    }
    // Writes tag with the value set puts into it.
    template <class Set>
    HRESULT _WriteWith(ULONG tag, Set set)
    {
        SPropValue v = {};
        v.ulPropTag = tag;
        set(v.Value);
        return _Write(v);
    }
    void _DropPreloaded();

    IMAPIProp* m_entry;
    CWABLib& m_wab;
    std::vector<ULONG> m_preloadedTags;
    SPropValue* m_preloaded = nullptr;  // one value per preloaded tag, the address book's buffer
    size_t m_nextPreloaded = 0;         // where the next read's tag most likely is: reads follow the request
};
