#pragma once
// SHA-256 (FIPS 180-4), small and portable: the reader checks a package against the digest its
// program image records, in every build and on every Windows the programs run on (Windows PE
// included) with no system library to load.

#include <cstddef>
#include <cstdint>

namespace sfx {

constexpr size_t kSha256Size = 32;

class CSha256 {
public:
    CSha256();
    void Update(const void* data, size_t size);
    // The digest of everything updated so far; the object is spent afterwards.
    void Final(uint8_t digest[kSha256Size]);

private:
    void Block(const uint8_t* block);
    uint32_t m_state[8];
    uint8_t m_buffer[64];
    size_t m_held = 0;
    uint64_t m_total = 0;  // bytes hashed
};

}  // namespace sfx
