#include "support/test_paths.h"

#include <cstdio>
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

std::string ReadSourceFile(const std::string& relative) {
  std::string text;
  std::FILE* f = std::fopen((SourceDir() + "/" + relative).c_str(), "rb");
  if (f == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

}  // namespace quelt_test
