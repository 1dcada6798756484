#include "tools/qlapack/host_names.h"

#include <iconv.h>

namespace quelt_tools {

// Host names are UTF-8.
bool HostNameToShiftJis(const std::filesystem::path& name, std::string* out) {
  const std::string utf8 = name.string();
  out->clear();
  if (utf8.empty()) return true;
  const iconv_t convert = iconv_open("CP932", "UTF-8");
  if (convert == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* to = result.data();
  size_t to_left = result.size();
  const size_t done = iconv(convert, &in, &in_left, &to, &to_left);
  iconv_close(convert);
  if (done == static_cast<size_t>(-1) || in_left != 0) return false;
  result.resize(result.size() - to_left);
  *out = std::move(result);
  return true;
}

}  // namespace quelt_tools
