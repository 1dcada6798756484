#pragma once
// Runs one software renderer entry on random images, modes, clips and coordinates taken
// from arbitrary bytes, and traps when a pixel outside the destination's clip changes.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quelt_fuzz {

// "blit", "stretch", "rotate", "triangle" or "quad"; false for an unknown name.
bool RunDrawTarget(const std::string& target, const uint8_t* data, size_t size);

}  // namespace quelt_fuzz
