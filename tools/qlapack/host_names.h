#pragma once
// File names of the host as the engine stores them: Shift-JIS (code page 932).
#include <filesystem>
#include <string>

namespace quelt_tools {

// The name in Shift-JIS, or false when a character of it has no Shift-JIS form.
bool HostNameToShiftJis(const std::filesystem::path& name, std::string* out);

}  // namespace quelt_tools
