#pragma once
// Runs one image reader (or the DXT decoder) over arbitrary bytes; shared by the fuzz
// targets and the regression test that replays their samples.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quelt_fuzz {

// The readers by name: "bmp", "tga", "dds", "bgra", "png", "jpeg", "table" (the whole reader
// table) and "dxt". Returns false for an unknown name.
bool RunImageTarget(const std::string& target, const uint8_t* data, size_t size);

}  // namespace quelt_fuzz
