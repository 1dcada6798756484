#pragma once
// The main window's client area in screen coordinates, as WindowArea keeps it.

namespace quelt {

// Reads the client rectangle of the main window into WindowArea.
void ReadWindowArea();

}  // namespace quelt
