// Deterministic randomness for the generator: splitmix64 throughout. Every stream is keyed
// by (seed, archive, item, purpose), so any byte can be produced again on its own.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t SplitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline uint64_t StreamKey(uint64_t seed, uint64_t archive, uint64_t item, uint64_t purpose) {
    uint64_t s = seed;
    uint64_t k = SplitMix64(s);
    s = k ^ (archive * 0xD1B54A32D192ED03ull);
    k = SplitMix64(s);
    s = k ^ (item * 0xAEF17502108EF2D9ull);
    k = SplitMix64(s);
    s = k ^ (purpose * 0xF1357AEA2E62A9C5ull);
    return SplitMix64(s);
}

class Rng {
public:
    explicit Rng(uint64_t key) : state_(key) {}
    uint64_t Next() { return SplitMix64(state_); }
    // Uniform in [0, n); n > 0.
    uint32_t Below(uint32_t n) { return uint32_t(((Next() >> 32) * uint64_t(n)) >> 32); }
    // Uniform in [lo, hi], both inclusive.
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    double Unit() { return double(Next() >> 11) * 0x1.0p-53; }
    bool Chance(double p) { return Unit() < p; }
    // Log-uniform in [lo, hi).
    double LogUniform(double lo, double hi) { return lo * std::exp(Unit() * std::log(hi / lo)); }

private:
    uint64_t state_;
};

// A byte stream of pseudo-random data. Fill calls must hand over multiples of 8 bytes,
// except the stream's last call, so the bytes do not depend on how the stream is chunked.
class ByteStream {
public:
    explicit ByteStream(uint64_t key) : state_(key) {}
    void Fill(unsigned char* dst, size_t n) {
        size_t words = n / 8;
        for (size_t i = 0; i < words; ++i) {
            uint64_t v = SplitMix64(state_);
            std::memcpy(dst + 8 * i, &v, 8);
        }
        if (size_t tail = n % 8) {
            uint64_t v = SplitMix64(state_);
            std::memcpy(dst + 8 * words, &v, tail);
        }
    }

private:
    uint64_t state_;
};
