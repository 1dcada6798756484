#pragma once
// One byte image through every layer of the converter chain that a build has: the RIFF
// chunk walk, the MPEG frame walk, and the chain itself (open, whole conversion, seeks,
// sequential conversion, close). Shared by the fuzz targets and the hostile-file replay;
// it traps on a broken promise of the layers (a range outside the image, a size past the
// reported total).
#include <cstddef>
#include <cstdint>

namespace quelt_test {

struct ConverterOutcome {
  int opened;         // OpenPcmConverter's result
  int kind;           // the converter kind when opened
  int64_t pcmBytes;   // whole conversion's size, -1 when it failed
};

ConverterOutcome ExerciseConverter(const uint8_t* data, size_t size);

}  // namespace quelt_test
