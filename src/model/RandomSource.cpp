#include "model/RandomSource.h"

#include <sys/random.h>

#include <cerrno>
#include <mutex>
#include <random>
#include <stdexcept>

namespace {

std::mutex gRandomMutex;

std::mt19937& generator()
{
    static std::mt19937 gen(5489u);
    return gen;
}

} // namespace

void RandomNumberInit(uint32_t seed)
{
    std::lock_guard lock(gRandomMutex);
    generator().seed(seed);
}

uint32_t RandomNumber()
{
    std::lock_guard lock(gRandomMutex);
    return static_cast<uint32_t>(generator()());
}

void RandomNumberInitFromSystem()
{
    RandomNumberInit(SecureRandomNumber());
}

void SecureRandomBytes(void* out, std::size_t count)
{
    auto* bytes = static_cast<unsigned char*>(out);
    while (count > 0) {
        const ssize_t got = getrandom(bytes, count, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // No fallback to a weaker source: secrets must not be predictable.
            throw std::runtime_error("the system's random source failed");
        }
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
}

uint32_t SecureRandomNumber()
{
    uint32_t value = 0;
    SecureRandomBytes(&value, sizeof value);
    return value;
}
