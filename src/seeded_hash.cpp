#include "seeded_hash.hpp"

#include <atomic>
#include <bit>
#include <cstring>
#include <random>

namespace lessoncover {

// Input words are read with memcpy in host order; the reference hash is defined little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

std::uint64_t splitmix64(std::uint64_t x) noexcept {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t process_seed() noexcept {
    static const std::uint64_t seed = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device() ^
               (std::uint64_t{device()} << 16);
    }();
    return seed;
}

std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    explicit SipState(HashKey key) noexcept
        : v0(key.k0 ^ 0x736f6d6570736575ULL),
          v1(key.k1 ^ 0x646f72616e646f6dULL),
          v2(key.k0 ^ 0x6c7967656e657261ULL),
          v3(key.k1 ^ 0x7465646279746573ULL) {}

    void round() noexcept {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }

    void absorb(std::uint64_t word) noexcept {
        v3 ^= word;
        round();
        v0 ^= word;
    }
};

}  // namespace

HashKey fresh_hash_key() noexcept {
    static std::atomic<std::uint64_t> containers{0};
    const std::uint64_t n = containers.fetch_add(1, std::memory_order_relaxed);
    const std::uint64_t k0 = splitmix64(process_seed() ^ (2 * n));
    return HashKey{k0, splitmix64(k0 ^ (2 * n + 1))};
}

std::uint64_t siphash13(HashKey key, std::string_view bytes, std::uint64_t prefix,
                        unsigned prefix_length) noexcept {
    SipState state(key);
    const std::uint64_t total = bytes.size() + prefix_length;
    // The prefix occupies the low bytes of the first word; input continues after it.
    std::uint64_t word = prefix;
    unsigned filled = prefix_length;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    if (filled == 0) {
        while (left >= 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, data, 8);
            state.absorb(chunk);
            data += 8;
            left -= 8;
        }
    }
    for (; left > 0; --left, ++data) {
        word |= std::uint64_t{static_cast<unsigned char>(*data)} << (8 * filled);
        if (++filled == 8) {
            state.absorb(word);
            word = 0;
            filled = 0;
        }
    }
    state.absorb(word | (total << 56));
    state.v2 ^= 0xff;
    state.round();
    state.round();
    state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

}  // namespace lessoncover
