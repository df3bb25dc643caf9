#include "standins/wab32/storerecords.h"

#include <cstring>

namespace wabstandin {

uint32_t Crc32(const char* data, size_t size)
{
    struct Table {
        uint32_t entry[256];
        Table()
        {
            for (uint32_t i = 0; i < 256; ++i) {
                uint32_t c = i;
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
                entry[i] = c;
            }
        }
    };
    // Made once, before its first use, whichever thread gets there first.
    static const Table table;
    uint32_t crc = 0xFFFFFFFFUL;
    for (size_t i = 0; i < size; ++i)
        crc = table.entry[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFUL;
}

bool ParseNumber(const char* p, const char* end, int base, uint32_t* value)
{
    if (p >= end)
        return false;
    uint32_t v = 0;
    for (; p < end; ++p) {
        uint32_t d;
        if (*p >= '0' && *p <= '9') d = *p - '0';
        else if (base == 16 && *p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
        else if (base == 16 && *p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
        else return false;
        if (v > (0xFFFFFFFFUL - d) / base)
            return false;
        v = v * base + d;
    }
    *value = v;
    return true;
}

CWords Words(const std::string& s)
{
    CWords out;
    size_t p = 0;
    while (p < s.size()) {
        size_t q = s.find(' ', p);
        if (q == std::string::npos)
            q = s.size();
        if (q > p) {
            if (out.count == 4) {
                out.count = 0;
                return out;
            }
            out.w[out.count++].assign(s, p, q - p);
        }
        p = q + 1;
    }
    return out;
}

size_t ScanRecords(const char* data, size_t n, size_t pos, IRecordSink& sink)
{
    size_t consumed = pos;
    CRecordLines lines;  // of the record being read, reused
    lines.reserve(64);
    while (pos < n) {
        const char* nl = static_cast<const char*>(std::memchr(data + pos, '\n', n - pos));
        if (!nl)
            break;  // an unfinished line: wait for the rest
        size_t lineEnd = nl - data;
        char first = data[pos];
        if (first != '+' && first != '-') {
            pos = lineEnd + 1;  // a comment, a blank line or stray text
            consumed = pos;
            continue;
        }
        // A record: its lines up to the "=" line.
        size_t start = pos;
        std::string head(data + pos, lineEnd - pos);
        lines.clear();
        size_t q = lineEnd + 1;
        bool complete = false, broken = false;
        size_t endLineStart = 0, next = 0;
        while (q < n) {
            const char* nl2 = static_cast<const char*>(std::memchr(data + q, '\n', n - q));
            if (!nl2)
                break;
            size_t e = nl2 - data;
            char c = data[q];
            if (c == '=') {
                complete = true;
                endLineStart = q;
                next = e + 1;
                break;
            }
            if (c == '+' || c == '-') {
                broken = true;  // the next record began before this one ended
                next = q;
                break;
            }
            lines.emplace_back(data + q, e - q);
            q = e + 1;
        }
        if (!complete && !broken)
            break;  // the data ends inside this record: torn, or still being written
        if (complete) {
            uint32_t crc = 0;
            const char* crcText = data + endLineStart + 1;
            size_t crcLen = (next - 1) - (endLineStart + 1);
            if (ParseNumber(crcText, crcText + crcLen, 16, &crc) && crc == Crc32(data + start, endLineStart - start))
                sink.OnRecord(head, lines);
            else
                sink.OnSkipped(true);
        } else {
            sink.OnSkipped(false);
        }
        pos = next;
        consumed = pos;
    }
    return consumed;
}

}  // namespace wabstandin
