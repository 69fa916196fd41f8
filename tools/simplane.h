#pragma once

#include <cmath>
#include <cstdint>

// What the race generators share: seeded random numbers, so that a seed always gives the
// same race, and plane geometry on the race area (metres east x and north y, bearings in
// degrees clockwise from north).
namespace tideplot::simplane {

inline constexpr double kPi = 3.14159265358979323846;

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    // splitmix64 (Steele, Lea and Flood, "Fast splittable pseudorandom number generators").
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1), 53 bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

    double Uniform(double a, double b) { return a + (b - a) * Uniform(); }

    // A whole number from a to b, both included.
    int Between(int a, int b) { return a + static_cast<int>(Next() % static_cast<std::uint64_t>(b - a + 1)); }

    // Standard normal, Box-Muller; the second value of each pair is kept for the next call.
    double Normal()
    {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - Uniform(); // (0, 1]: the logarithm stays finite
        const double u2 = Uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2.0 * kPi * u2);
        haveSpare_ = true;
        return r * std::cos(2.0 * kPi * u2);
    }

private:
    std::uint64_t state_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

struct Vec {
    double x = 0;
    double y = 0;
};

inline Vec operator+(Vec a, Vec b)
{
    return {a.x + b.x, a.y + b.y};
}
inline Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y};
}
inline Vec operator*(double k, Vec a)
{
    return {k * a.x, k * a.y};
}

inline double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}

// The unit vector of a bearing.
inline Vec Towards(double bearing)
{
    return {std::sin(Radians(bearing)), std::cos(Radians(bearing))};
}

inline double Length(Vec v)
{
    return std::hypot(v.x, v.y);
}

// An angle brought into [-180, 180).
inline double Wrap180(double degrees)
{
    return degrees - 360.0 * std::floor((degrees + 180.0) / 360.0);
}

} // namespace tideplot::simplane
