// Hashing for every map and set of the module. Names come from users' files, so a fixed,
// unkeyed hash would let a crafted file pile every name into one bucket; each container
// instead hashes with SipHash under its own key, drawn from a per-process random seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lessoncover {

struct HashKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

// A new key for a new container: cheap (no system call after the first).
HashKey fresh_hash_key() noexcept;

// SipHash-1-3 of `length` bytes, continued from `prefix` (up to 8 bytes of already-known input).
std::uint64_t siphash13(HashKey key, std::string_view bytes, std::uint64_t prefix = 0,
                        unsigned prefix_length = 0) noexcept;

// Hashes text keys; transparent so maps keyed by std::string can be searched with a view.
struct SeededTextHash {
    using is_transparent = void;
    HashKey key = fresh_hash_key();

    std::size_t operator()(std::string_view text) const noexcept {
        return static_cast<std::size_t>(siphash13(key, text));
    }
};

}  // namespace lessoncover
