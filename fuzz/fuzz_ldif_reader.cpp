// The LDIF reader on any bytes (see recordreaders.h). Built for the host only, never for Windows.
#include "fuzz/recordreaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzhost::ReadAndCount<ldif::CLdifReader>(data, size, ldif::CLdifReader::kMaxEntryBytes);
    return 0;
}
