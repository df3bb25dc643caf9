// Helper process for the durability tests: saves contacts into a store, signals that it has, and
// then waits to be killed (it ends by itself after a minute so it never lingers).
//   wab32_writer.exe <store> <count> <ready file>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <mapiguid.h>
#include <wrl/client.h>

#include "standins/wab32/wabstandin.h"

using Microsoft::WRL::ComPtr;

int main(int argc, char** argv)
{
    if (argc != 4)
        return 1;
    WAB_PARAM param = {};
    param.cbSize = sizeof param;
    param.szFileName = argv[1];
    ComPtr<IAddrBook> book;
    ComPtr<IWABObject> wab;
    if (FAILED(WABOpen(book.GetAddressOf(), wab.GetAddressOf(), &param, 0)))
        return 2;
    ULONG cb = 0;
    LPENTRYID pab = nullptr;
    if (FAILED(book->GetPAB(&cb, &pab)))
        return 3;
    ULONG type = 0;
    ComPtr<IUnknown> unk;
    HRESULT hr = book->OpenEntry(cb, pab, nullptr, MAPI_BEST_ACCESS, &type, unk.GetAddressOf());
    wab->FreeBuffer(pab);
    ComPtr<IABContainer> folder;
    if (FAILED(hr) || FAILED(unk->QueryInterface(IID_IABContainer, reinterpret_cast<void**>(folder.GetAddressOf()))))
        return 4;
    ULONG count = 0;
    LPSPropValue tpl = nullptr;
    SPropTagArray tags = {1, {PR_DEF_CREATE_MAILUSER}};
    if (FAILED(folder->GetProps(&tags, 0, &count, &tpl)) || PROP_TYPE(tpl[0].ulPropTag) != PT_BINARY)
        return 5;
    int n = std::atoi(argv[2]);
    for (int i = 1; i <= n; ++i) {
        ComPtr<IMAPIProp> entry;
        if (FAILED(folder->CreateEntry(tpl[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(tpl[0].Value.bin.lpb), 0,
                                       entry.GetAddressOf())))
            return 6;
        std::wstring name = L"Saved " + std::to_wstring(i);
        SPropValue v = {};
        v.ulPropTag = PR_DISPLAY_NAME_W;
        v.Value.lpszW = &name[0];
        if (FAILED(entry->SetProps(1, &v, nullptr)) || FAILED(entry->SaveChanges(0)))
            return 7;
    }
    wab->FreeBuffer(tpl);
    FILE* ready = std::fopen(argv[3], "w");
    if (!ready)
        return 8;
    std::fclose(ready);
    Sleep(60000);
    return 0;
}
