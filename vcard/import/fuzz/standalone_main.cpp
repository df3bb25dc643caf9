// A driver for compilers without libFuzzer: runs every file named on the command line through
// the target, then random mutations of them for the given number of seconds (-seconds=N).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int seconds = 10;
    std::vector<std::string> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-seconds=", 9) == 0) {
            seconds = std::atoi(argv[i] + 9);
            continue;
        }
        std::ifstream in(argv[i], std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (const std::string& c : corpus)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(c.data()), c.size());
    if (corpus.empty())
        corpus.push_back("BEGIN:VCARD\r\nN;QUOTED-PRINTABLE:=41=\r\n b\r\nEND:VCARD\r\n");

    static const char* const kPieces[] = {"=", "=\r\n", "\r", "\n", " ", "\t", ";", ":", ",", "\\", "\"",
                                          "BEGIN:VCARD\r\n", "END:VCARD\r\n", "VERSION:3.0\r\n",
                                          ";CHARSET=UTF-8", ";ENCODING=QUOTED-PRINTABLE", "TYPE=",
                                          "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xC3", "\x00"};
    std::mt19937 rng(12345);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    unsigned long runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::string input = corpus[rng() % corpus.size()];
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = input.empty() ? 0 : rng() % (input.size() + 1);
            switch (rng() % 4) {
            case 0:
                input.insert(at, kPieces[rng() % (sizeof(kPieces) / sizeof(kPieces[0]))]);
                break;
            case 1:
                if (!input.empty())
                    input.erase(at < input.size() ? at : input.size() - 1, 1 + rng() % 4);
                break;
            case 2:
                if (!input.empty())
                    input[at < input.size() ? at : input.size() - 1] = static_cast<char>(rng());
                break;
            default:
                input = input.substr(0, at);
                break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%zu corpus files, %lu mutated inputs, no fault\n", corpus.size(), runs);
    return 0;
}
