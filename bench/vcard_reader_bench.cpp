// Throughput of the vCard reader on a generated file of varied cards.
//   vcard_reader_bench --generate FILE [CARDS]   writes the file (default 10000 cards)
//   vcard_reader_bench FILE [ROUNDS]             reads it ROUNDS times (default 5), prints the best
// The reading is the import's own: file text, cards, every property through its handler, values
// converted to UTF-16; only the address book is left out.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "contact/CharConverter.h"
#include "vcard/import/vCardImport.h"

namespace {

// Quoted-printable on one line: python-vobject, which we compare with, cannot join soft breaks.
std::string Qp(const std::string& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if ((c >= 33 && c <= 126 && c != '=') || c == ' ') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('=');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string Generate(int cards)
{
    static const char* const given[] = {"Ann", "Bob", "J\xC3\xB6rg", "Zo\xC3\xAB", "\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0",
                                        "Li", "\xE5\xAE\x89\xE8\x97\xA4", "Mary-Jane"};
    static const char* const family[] = {"Lee", "M\xC3\xBCller", "Smith", "O'Neil", "Garc\xC3\xAD" "a",
                                         "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2", "Nguyen", "Kowalski"};
    std::string out;
    out.reserve(static_cast<size_t>(cards) * 700);
    for (int i = 0; i < cards; ++i) {
        const char* g = given[i % 8];
        const char* f = family[(i / 8) % 8];
        std::string n = std::to_string(i);
        bool v30 = i % 2 == 1;
        out += "BEGIN:VCARD\r\n";
        out += v30 ? "VERSION:3.0\r\n" : "VERSION:2.1\r\n";
        out += std::string("N;CHARSET=UTF-8:") + f + ";" + g + ";;Dr.;\r\n";
        out += std::string("FN;CHARSET=UTF-8:") + g + " " + f + " " + n + "\r\n";
        out += "ORG:Example " + n + (v30 ? "\\, Inc.;Sales\r\n" : ", Inc.;Sales\r\n");
        out += "TITLE:Engineer\r\n";
        std::string note = "Met at the conference in " + std::string(f) + "ville, room " + n +
                           ".\r\nSecond line of the note with some more words to make it long enough.";
        if (v30) {
            out += "NOTE:Met at the conference in " + std::string(f) + "ville\\, room " + n +
                   ".\\nSecond line of the note with some more words to make it long enough.\r\n";
        } else {
            out += "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Qp(note) + "\r\n";
        }
        out += v30 ? "TEL;TYPE=WORK,VOICE:+1 555 0100 " + n + "\r\n" : "TEL;WORK;VOICE:+1 555 0100 " + n + "\r\n";
        out += v30 ? "TEL;TYPE=CELL:+1 555 0199 " + n + "\r\n" : "TEL;CELL:+1 555 0199 " + n + "\r\n";
        if (i % 3 == 0)
            out += v30 ? "TEL;TYPE=HOME,FAX:+1 555 0142\r\n" : "TEL;HOME;FAX:+1 555 0142\r\n";
        out += v30 ? "ADR;TYPE=WORK:;Suite " + n + ";1 Main Street;Springfield;IL;62701;USA\r\n"
                   : "ADR;WORK:;Suite " + n + ";1 Main Street;Springfield;IL;62701;USA\r\n";
        if (i % 4 == 0) {
            out += v30 ? "ADR;TYPE=HOME:;;22 Long Road with a rather long name that goes on;\r\n Shelbyville;IL;62565;USA\r\n"
                       : "ADR;HOME:;;22 Home Road;Shelbyville;IL;62565;USA\r\n";
        }
        out += v30 ? "EMAIL;TYPE=INTERNET,PREF:person" + n + "@example.com\r\n"
                   : "EMAIL;PREF;INTERNET:person" + n + "@example.com\r\n";
        if (i % 2 == 0)
            out += v30 ? "EMAIL;TYPE=INTERNET:alt" + n + "@example.org\r\n" : "EMAIL;INTERNET:alt" + n + "@example.org\r\n";
        out += v30 ? "URL;TYPE=WORK:http://www.example.com/" + n + "\r\n" : "URL;WORK:http://www.example.com/" + n + "\r\n";
        out += "BDAY:19" + std::to_string(50 + i % 50) + "0" + std::to_string(1 + i % 9) + "1" + std::to_string(i % 10) + "\r\n";
        if (i % 5 == 0)
            out += "X-OUTL-SPOUSE:Partner " + n + "\r\n";
        if (i % 7 == 0)
            out += v30 ? "X-OUTL-CHILDREN:Tom\\,Sue\r\n" : "X-OUTL-CHILDREN:Tom,Sue\r\n";
        out += "X-OUTL-GENDER:" + std::to_string(i % 3) + "\r\n";
        out += "REV:20240101T120000Z\r\n";
        out += "END:VCARD\r\n";
    }
    return out;
}

bool ReadAllBytes(const char* path, std::string* bytes)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes->append(buffer, n);
    std::fclose(f);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--generate") {
        int cards = argc >= 4 ? std::atoi(argv[3]) : 10000;
        std::string text = Generate(cards);
        FILE* f = std::fopen(argv[2], "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        std::fclose(f);
        std::printf("%d cards, %zu bytes written to %s\n", cards, text.size(), argv[2]);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: vcard_reader_bench --generate FILE [CARDS] | FILE [ROUNDS]\n");
        return 2;
    }
    std::string encodings = common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt";
    g_charConverter.LoadFrom(encodings.c_str(), nullptr);
    std::string bytes;
    if (!ReadAllBytes(argv[1], &bytes)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    int rounds = argc >= 3 ? std::atoi(argv[2]) : 5;
    double best = 1e30;
    size_t cards = 0;
    size_t touched = 0;
    for (int r = 0; r < rounds; ++r) {
        CvCardImport reader;
        cards = 0;
        auto start = std::chrono::steady_clock::now();
        reader.LoadText(bytes.data(), bytes.size());
        reader.ReadCards([&] {
            ++cards;
            touched += reader.Reader().Card().displayName.size() + reader.Reader().Card().emails.size();
            return 0;
        });
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best)
            best = seconds;
    }
    double mb = bytes.size() / 1e6;
    std::printf("ours    : %zu cards, %.2f MB, best of %d: %.4f s = %.1f MB/s, %.0f cards/s (%zu)\n", cards, mb,
                rounds, best, mb / best, cards / best, touched % 10);
    return 0;
}
