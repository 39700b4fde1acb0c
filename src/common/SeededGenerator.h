#pragma once

#include <array>
#include <cstdint>

// A 64-bit linear congruential generator with a fixed seed, so a star field's layout is the
// same on every run and machine. Each star field has its own seed and ranges.
class SeededGenerator
{
public:
    explicit constexpr SeededGenerator(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL; // wraps modulo 2^64
        return m_state;
    }

    // In [0, 1]: the value rounded to the nearest double, times 2^-64.
    double nextUnit() { return static_cast<double>(next()) * 5.421010862427522e-20; }

    double nextUniform(double lower, double upper) { return lower + (upper - lower) * nextUnit(); }

    // A point uniformly distributed in the ball of radius 1.5, by rejection in the cube.
    std::array<double, 3> nextPointInBall()
    {
        for (;;) {
            const double x = 2 * nextUnit() - 1;
            const double y = 2 * nextUnit() - 1;
            const double z = 2 * nextUnit() - 1;
            if (x * x + y * y + z * z <= 1)
                return {1.5 * x, 1.5 * y, 1.5 * z};
        }
    }

    std::uint64_t state() const { return m_state; }

private:
    std::uint64_t m_state;
};
