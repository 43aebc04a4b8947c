// libFuzzer entry for the frame decoder; the plain corpus replay in the tests
// calls the same entry.
#include "decodercheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString why;
    if (!checkDecoder(data, size, &why)) {
        std::fprintf(stderr, "decoder check failed: %s\n", qPrintable(why));
        std::abort();
    }
    return 0;
}
