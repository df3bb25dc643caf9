// Writes the cards that an independent vCard parser reads back (interop_check.py): two contacts,
// one Latin and one Cyrillic, into one file per format and encoding, through the writer exactly
// as the export run drives it.
//   vcard_interop_export.exe OUTPUT_FOLDER
// Exit code 0 when every file was written.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "support/storefile.h"
#include "vcard/export/vCardExport.h"
#include "wab/WABLib.h"

using namespace contact_tags;
using testsupport::Text;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vcard_interop_export OUTPUT_FOLDER\n");
        return 2;
    }
    std::string out = argv[1];
    std::string store = out + "\\interop.wab";
    std::string encodings = common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt";
    if (g_charConverter.LoadFrom(encodings.c_str(), nullptr) == 0 || FAILED(WabStandinCreateStore(store.c_str(), nullptr))) {
        std::fprintf(stderr, "cannot prepare the encodings or the store\n");
        return 1;
    }

    std::wstring note = std::wstring(65, L'x') + L" blank first on a continuation line\r\nSecond, line; end.";
    std::vector<SPropValue> latin = {
        Text(kSurname, L"Lee"),
        Text(kGivenName, L"Ann"),
        Text(kMiddleName, L"Marie"),
        Text(kDisplayNamePrefix, L"Dr."),
        Text(kDisplayName, L"Ann Lee"),
        Text(kNickname, L"Annie"),
        Text(kCompanyName, L"Acme, Inc."),
        Text(kDepartmentName, L"Sales"),
        Text(kTitle, L"Head of Sales, Europe"),
        Text(kComment, note.c_str()),
        Text(kBusinessTelephoneNumber, L"+1 555 0100"),
        Text(kMobileTelephoneNumber, L"+1 555 0199"),
        Text(kBusinessAddressStreet, L"1 Main St\r\nFloor 2"),
        Text(kBusinessAddressCity, L"Springfield"),
        Text(kBusinessAddressPostalCode, L"12345"),
        Text(kBusinessAddressCountry, L"Utopia"),
        Text(kHomeAddressCity, L"Shelbyville"),
        Text(kPersonalHomePage, L"http://example.com/ann"),
        Text(kEmailAddress, L"ann@example.com"),
        Text(kAddrType, L"SMTP"),
        testsupport::Time(kBirthday, 1975, 3, 14),
    };
    std::vector<SPropValue> cyrillic = {
        Text(kSurname, L"\u041f\u0435\u0442\u0440\u043e\u0432"),
        Text(kGivenName, L"\u0418\u0432\u0430\u043d"),
        Text(kDisplayName, L"\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432"),
        Text(kCompanyName, L"\u0420\u043e\u0433\u0430 \u0438 \u043a\u043e\u043f\u044b\u0442\u0430"),
        Text(kComment, L"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"),
        Text(kHomeTelephoneNumber, L"+7 495 000 00 00"),
    };
    char ids[2][WABSTANDIN_ID_TEXT_SIZE] = {};
    if (FAILED(WabStandinAddContact(store.c_str(), nullptr, static_cast<ULONG>(latin.size()), latin.data(), ids[0],
                                    sizeof(ids[0]))) ||
        FAILED(WabStandinAddContact(store.c_str(), nullptr, static_cast<ULONG>(cyrillic.size()), cyrillic.data(),
                                    ids[1], sizeof(ids[1]))) ||
        !g_wabLib.Init(false, store.c_str(), false)) {
        std::fprintf(stderr, "cannot fill or open the store\n");
        return 1;
    }

    struct Variant {
        const char* file;
        int format;
        const char* encoding;
    } variants[] = {
        {"v21-utf8.vcf", 21, "Unicode (UTF-8)"},
        {"v30-utf8.vcf", 30, "Unicode (UTF-8)"},
        {"v21-cp1251.vcf", 21, "Cyrillic (Windows)"},
        {"v30-cp1251.vcf", 30, "Cyrillic (Windows)"},
    };
    int status = 0;
    for (const Variant& v : variants) {
        g_charConverter.SetCurrentCodePage(g_charConverter.CodePageByName(v.encoding));
        CvCardExport run;
        run.PrepareCards(v.format);
        std::string bytes;
        for (const char* id : {ids[0], ids[1]}) {
            ULONG type = 0;
            Microsoft::WRL::ComPtr<IMAPIProp> entry;
            if (FAILED(g_wabLib.OpenItem(id, &type, entry.GetAddressOf()))) {
                std::fprintf(stderr, "cannot open %s\n", id);
                return 1;
            }
            run.SetContact(entry.Get());
            run.WriteCard();
            bytes.append(run.CardText().bytes, static_cast<size_t>(run.CardText().length));
        }
        if (!testsupport::WriteFileBytes(out + "\\" + v.file, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", v.file);
            status = 1;
        }
    }
    g_wabLib.Close();
    return status;
}
