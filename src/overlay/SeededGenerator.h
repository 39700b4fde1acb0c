#pragma once

#include <cstdint>

// A 64-bit linear congruential generator with a fixed seed, so the pill's star field is the
// same on every run and machine.
struct SeededGenerator
{
    std::uint64_t state;

    std::uint64_t next()
    {
        state = state * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL; // wraps modulo 2^64
        return state;
    }

    // In [0, 1]: the value rounded to the nearest double, times 2^-64.
    double nextUnit() { return static_cast<double>(next()) * 5.421010862427522e-20; }

    double nextUniform(double lower, double upper) { return lower + (upper - lower) * nextUnit(); }
};
