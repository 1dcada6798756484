#pragma once
#include <string>

namespace quelt_test {

// The source tree (for checked-in samples) and the build tree, as CTest passes them.
std::string SourceDir();
std::string BinaryDir();
// A file below tests/, e.g. TestDataPath("fuzz/lz/crash-1").
std::string TestDataPath(const std::string& relative);
// The whole of a file of the source tree, e.g. ReadSourceFile("graphics/shaders/combine.psh");
// empty when it cannot be read.
std::string ReadSourceFile(const std::string& relative);

}  // namespace quelt_test
