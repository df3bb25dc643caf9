// The vCard reader: whatever the bytes, every operation the import uses stays inside its buffers
// and ends, and the import's card loop (the property mapping over a real code page) reads as many
// cards as the counting pass counts, whatever its handlers do with the lines: a walk that reads
// every value its own way, the counting pass and the import's loop agree card for card. Built for the host only (fuzz.mk), never for Windows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/hostcodepages.h"
#include "codec/vcard/CardReader.h"
#include "codec/vcard/vCardText.h"

using namespace vcard;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Walks the text the way the import does: cards, properties, parameters, values, components.
void ReadLikeTheImport(const uint8_t* data, size_t size)
{
    CvCardText reader;
    reader.Load(reinterpret_cast<const char*>(data), size);
    // Half of the inputs are read as Shift_JIS would be: lead bytes 0x81-0x9F and 0xE0-0xFC.
    static bool shiftJisLead[256];
    for (int b = 0; b < 256; ++b)
        shiftJisLead[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (size > 0 && (data[size - 1] & 1))
        reader.SetLeadBytes(shiftJisLead);
    size_t cards = 0;
    size_t depth = 0;
    for (;;) {
        CvCardText::CardStep step = reader.NextStep();
        if (step == CvCardText::CardStep::kTextEnd)
            break;
        if (step == CvCardText::CardStep::kBegin) {
            Check(reader.Depth() == depth + 1 && reader.Depth() <= CvCardText::kMaxCardDepth);
            ++depth;
            continue;
        }
        if (step == CvCardText::CardStep::kEnd) {
            Check(reader.Depth() + 1 == depth);
            --depth;
            ++cards;
            continue;
        }
        CParams params;
        if (reader.ReadParameters(&params)) {
            std::string value;
            if (params.base64) {
                if (reader.ReadBase64Value(&value))
                    reader.SetLiteralLine(value);
            } else if (params.quotedPrintable ||
                       (reader.Name() == "ADR" && reader.Format() != CvCardText::kFormat30)) {
                reader.ReadEncodedValue(&value);
                reader.SetLine(value);
            }
            size_t p = reader.Pos();
            std::string part;
            for (int i = 0; i < 6; ++i) {
                size_t next = reader.TakeComponent(p, &part);
                Check(next >= p && next <= reader.Line().size());
                p = next;
            }
            reader.TakeRemainder(p, &part);
            IsNonAsciiUtf8(part.data(), part.size());
        }
    }
    Check(reader.Depth() == depth);
    // Counting sees the same complete cards as reading.
    CvCardText counter;
    counter.Load(reinterpret_cast<const char*>(data), size);
    size_t counted = counter.CountCards();
    Check(counted == cards);

    // The import's own loop, its values in the code page the input's first byte picks.
    size_t pageCount = 0;
    const fuzzhost::CCodePage* pages = fuzzhost::CodePages(&pageCount);
    fuzzhost::CHostConverter decoder(size > 0 ? pages[data[0] % pageCount].number : kAnsiCodePage);
    CCardReader mapper(decoder);
    mapper.Text().Load(reinterpret_cast<const char*>(data), size);
    size_t handed = 0;
    mapper.ReadAllCards([&] {
        ++handed;
        Check(mapper.Card().emails.size() == mapper.Card().emailTypes.size());
        return 0;
    });
    Check(handed == mapper.CardsRead() && handed == counted);
    Check(mapper.TextEndedInCard() == (depth > 0) && mapper.CardsTooDeep() == reader.CardsTooDeep());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReadLikeTheImport(data, size);

    const char* bytes = reinterpret_cast<const char*>(data);
    std::string out;
    bool decoded = DecodeQuotedPrintable(bytes, size, &out);
    if (decoded)
        Check(out.size() <= size);
    std::string raw(bytes, size);
    std::string escaped = EscapeStrayEquals(raw);
    // Without a carriage return the escaped text always decodes.
    if (raw.find('\r') == std::string::npos)
        Check(DecodeQuotedPrintable(escaped.data(), escaped.size(), &out));
    std::string unescaped = Unescape30(bytes, size);
    Check(unescaped.size() <= 2 * size);
    if (DecodeBase64(bytes, size, &out))
        Check(out.size() <= size / 4 * 3 + 2);
    std::string text;
    PrepareFileText(bytes, size, &text);
    return 0;
}
