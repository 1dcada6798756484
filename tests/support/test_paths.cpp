#include "support/test_paths.h"

#include <cstdlib>

namespace quelt_test {

// CTest hands Unix paths; under Wine the whole Unix tree is drive Z:.
static std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return ".";
  std::string path(value);
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  return path;
}

std::string SourceDir() { return FromEnvironment("QUELT_SOURCE_DIR"); }
std::string BinaryDir() { return FromEnvironment("QUELT_BINARY_DIR"); }
std::string TestDataPath(const std::string& relative) { return SourceDir() + "/tests/" + relative; }

}  // namespace quelt_test
