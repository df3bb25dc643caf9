// What the fuzz targets of the CSV and LDIF readers check on any bytes: every operation stays
// inside its buffers and ends, and the reading hands over exactly as many contacts as the counting
// pass counted, with every value within the reader's bounds. Host only (fuzz.mk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "codec/csv/CsvText.h"
#include "codec/ldif/LdifReader.h"
#include "fuzz/hostcodepages.h"

namespace fuzzhost {

inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

template <class Reader>
void ReadAndCount(const uint8_t* data, size_t size, size_t maxValue)
{
    fuzzhost::CHostConverter decoder(vcard::kAnsiCodePage);
    size_t notes = 0;
    Reader reader(decoder, [&notes](const std::string& note) {
        Check(!note.empty());
        ++notes;
    });
    reader.Load(reinterpret_cast<const char*>(data), size);
    if constexpr (std::is_same<Reader, csv::CCsvReader>::value) {
        // Columns no set knows go where the input's last bytes say, as the user would send them.
        const std::vector<const csv::CColumn*> fields = csv::MappableColumns();
        size_t k = 0;
        for (const auto& column : reader.UnmappedColumns()) {
            Check(column.column < reader.Columns().size());
            unsigned char pick = size > 0 ? data[(size - 1 - k++ % size)] : 0;
            if (pick % 3 != 0)
                reader.MapColumn(column.column, fields[pick % fields.size()]->field);
        }
    }
    const size_t counted = reader.CountRecords();
    size_t read = 0;
    Check(reader.ReadAll([&] {
        ++read;
        for (const std::wstring* text : reader.Record().Texts())
            Check(text->size() <= maxValue);
        (void)reader.RecordName();
        return 0;
    }) == 0);
    Check(read == counted);
    // Read again, stopped at the first contact: the sink's answer ends the reading.
    size_t again = 0;
    int result = reader.ReadAll([&] { return ++again > 0 ? -1 : 0; });
    Check(again == (counted > 0 ? 1u : 0u) && result == (counted > 0 ? -1 : 0));
    reader.Free();
}

}  // namespace fuzzhost

