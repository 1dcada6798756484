#pragma once
// Runs one image reader (or the DXT decoder) over arbitrary bytes; shared by the fuzz
// targets and the regression test that replays their samples.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quelt_fuzz {

inline constexpr int kUnknownImageTarget = -2;

// The readers by name: "bmp", "tga", "dds", "bgra", "png", "jpeg", "table" (the whole reader
// table) and "dxt". Returns the reader's result (0 accepted, -1 refused; the DXT decoder and
// inputs over 4 MB give 0), kUnknownImageTarget for an unknown name.
int RunImageTarget(const std::string& target, const uint8_t* data, size_t size);

}  // namespace quelt_fuzz
