// The framing of the store file's records (see store.h), on bytes only: which records of a read
// are whole and sealed, and where reading stops. No Windows header, so that torn and corrupted
// store files can be fuzzed on a build host; CStore turns each sealed record into an entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace wabstandin {

// CRC-32 (IEEE) of a record's bytes, as its "=" line carries it.
uint32_t Crc32(const char* data, size_t size);

// A number of a record, all of [p, end) in decimal or hexadecimal digits and within 32 bits.
bool ParseNumber(const char* p, const char* end, int base, uint32_t* value);

// The space-separated words of a record's first line; at most four (more make it unknown).
struct CWords {
    std::string w[4];
    size_t count = 0;
};
CWords Words(const std::string& s);

// The lines of one record between its first line and its "=" line.
using CRecordLines = std::vector<std::pair<const char*, size_t>>;

class IRecordSink {
public:
    virtual ~IRecordSink() = default;
    // A whole record whose checksum holds.
    virtual void OnRecord(const std::string& head, const CRecordLines& lines) = 0;
    // A record that is skipped: its checksum is wrong, or the next record began before its end.
    virtual void OnSkipped(bool badChecksum) = 0;
};

// Reads the records of data[pos, size): comments, blank lines and stray text are stepped over,
// every whole record goes to the sink. Stops before a line without its line end and before a
// record the data ends inside (torn, or still being written). Returns where the next read has to
// start: the data from there on was not used.
size_t ScanRecords(const char* data, size_t size, size_t pos, IRecordSink& sink);

}  // namespace wabstandin
