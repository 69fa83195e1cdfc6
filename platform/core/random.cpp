// The run-time library's linear congruential generator.
#include "platform/core/random.h"

#include <chrono>

uint32_t RandSeed = 0;

void Randomize()
{
    using namespace std::chrono;
    auto ticks = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    RandSeed = static_cast<uint32_t>(static_cast<uint64_t>(ticks));
}

namespace {

uint32_t NextRandom()
{
    RandSeed = RandSeed * 0x08088405u + 1u;
    return RandSeed;
}

} // namespace

int32_t Random(int32_t Range)
{
    if (Range <= 0) {
        return 0;
    }
    return static_cast<int32_t>((static_cast<uint64_t>(NextRandom()) * static_cast<uint32_t>(Range)) >> 32);
}

double Random()
{
    return static_cast<double>(NextRandom()) / 4294967296.0;
}
