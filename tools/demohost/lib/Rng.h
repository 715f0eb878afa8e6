// A small seeded generator whose output is fixed by its own code (the standard library's
// distributions differ between implementations), so a seed gives the same host everywhere.
#pragma once

#include <cmath>
#include <cstdint>

namespace levora::demohost {

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed ^ 0x9E3779B97F4A7C15ull) {}

    // splitmix64
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1)
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // [0, n)
    int below(int n) { return static_cast<int>(uniform() * n); }
    bool chance(double p) { return uniform() < p; }
    // Standard normal (Box-Muller; the second value is dropped to keep the sequence simple).
    double gauss() {
        double u1 = uniform();
        if (u1 < 1e-300)
            u1 = 1e-300;
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
    }
    // A generator for a sub-task, so adding draws in one place does not shift another.
    Rng fork(uint64_t salt) { return Rng(next() ^ (salt * 0xD1B54A32D192ED03ull)); }

private:
    uint64_t m_state;
};

} // namespace levora::demohost
