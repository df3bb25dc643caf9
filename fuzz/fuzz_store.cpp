// The stand-in address book's store file, torn and corrupted: whatever the bytes, reading them
// stays inside them, and reading in two steps (a process that read the file, then what another
// one appended) takes the same records as reading them at once. A reader that stopped in the
// middle of a record must not lose it or take a part of it when the rest arrives.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "standins/wab32/storerecords.h"

using namespace wabstandin;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Every record taken, with the first words of its head and its line count, and the skips.
class CCollect : public IRecordSink {
public:
    std::vector<std::string> taken;
    void OnRecord(const std::string& head, const CRecordLines& lines) override
    {
        CWords words = Words(head);
        uint32_t serial = 0;
        if (words.count >= 2)
            ParseNumber(words.w[1].data(), words.w[1].data() + words.w[1].size(), 10, &serial);
        std::string record = head + "#" + std::to_string(lines.size()) + "#" + std::to_string(serial);
        for (const auto& l : lines) {
            Check(l.second < (1u << 30));
            record.append(l.first, l.second);
            record += '\n';
        }
        taken.push_back(record);
    }
    void OnSkipped(bool) override { taken.push_back("skipped"); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose where the file is cut for the first read.
    size_t cut = (static_cast<size_t>(data[0]) << 8 | data[1]);
    std::string file(reinterpret_cast<const char*>(data) + 2, size - 2);
    cut = file.empty() ? 0 : cut % (file.size() + 1);

    CCollect whole;
    size_t end = ScanRecords(file.data(), file.size(), 0, whole);
    Check(end <= file.size());
    Check(end == 0 || file[end - 1] == '\n');

    CCollect steps;
    std::string first = file.substr(0, cut);
    size_t stop = ScanRecords(first.data(), first.size(), 0, steps);
    Check(stop <= cut);
    size_t stop2 = ScanRecords(file.data(), file.size(), stop, steps);
    Check(stop2 == end);
    Check(steps.taken == whole.taken);

    // A record whose seal line carries the checksum of its bytes is taken whole.
    std::string record = "+CONTACT 7 1\n" + file.substr(0, file.find_first_of("+-=")) ;
    if (!record.empty() && record.back() != '\n')
        record += '\n';
    char seal[16];
    std::snprintf(seal, sizeof seal, "=%08X\n", Crc32(record.data(), record.size()));
    record += seal;
    CCollect sealed;
    Check(ScanRecords(record.data(), record.size(), 0, sealed) == record.size());
    Check(sealed.taken.size() == 1 && sealed.taken[0] != "skipped");
    return 0;
}
