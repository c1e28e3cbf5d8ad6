// The random source of the greeting and the message of the day; seeded from the clock at start.
#pragma once

#include <cstdint>
#include <random>

namespace velora {

class Random {
 public:
  virtual ~Random() = default;
  void Seed(std::uint32_t seed) { engine_.seed(seed); }
  // Uniform in [0, 1).
  virtual double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

 private:
  std::mt19937 engine_{1};
};

}  // namespace velora
