#include "common/trace.h"

#include "common/text.h"

namespace common {

void ComTrace(const char* context, const char* call, HRESULT hr) noexcept
{
    char line[512];
    FormatBounded(line, sizeof(line), "%s: %s failed (0x%08lX)\n", context ? context : "",
                  call ? call : "", static_cast<unsigned long>(hr));
    OutputDebugStringA(line);
}

}  // namespace common
