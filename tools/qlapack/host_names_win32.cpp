#include "tools/qlapack/host_names.h"

#include <windows.h>

namespace quelt_tools {

bool HostNameToShiftJis(const std::filesystem::path& name, std::string* out) {
  const std::wstring wide = name.wstring();
  out->clear();
  if (wide.empty()) return true;
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy) return false;
  out->resize(static_cast<size_t>(length));
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out->data(), length,
                      nullptr, &lossy);
  return !lossy;
}

}  // namespace quelt_tools
