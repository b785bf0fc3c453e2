// libFuzzer entry: every interchange reader over one input.
#include "FuzzReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzReaders(data, size);
    return 0;
}
