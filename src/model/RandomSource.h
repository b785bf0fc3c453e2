#pragma once
// The process-wide MT19937 and the operating system's cryptographic source.
#include <cstddef>
#include <cstdint>

// Seeds the shared MT19937 (standard initialisation by a 32-bit seed).
void RandomNumberInit(uint32_t seed);
// The next output of the shared MT19937; unseeded it starts from seed 5489.
uint32_t RandomNumber();
// Seeds the shared MT19937 from the operating system's random source; called once at start-up.
void RandomNumberInitFromSystem();

// Bytes from the operating system's cryptographic random source. Secrets
// (passwords, pass keys) and identifier bytes come from here, not from the MT19937.
void SecureRandomBytes(void* out, std::size_t count);
uint32_t SecureRandomNumber();
