// The entry layer's text entries: strings in the default font.
#include <cstdarg>

#include "core/entry/api_entry.h"
#include "core/numbers.h"
#include "font/font_table.h"

namespace quelt {

void ApiDrawTextFormatted(int32_t x, int32_t y, uint32_t colour, const char* format, ...) {
  if (format == nullptr) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatToBufferV(text, sizeof(text), format, args);
  va_end(args);
  DrawTextDefaultFont(x, y, text, colour, 0);
}

int ApiDrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t colour, uint32_t edge_colour) {
  return DrawTextDefaultFont(x, y, text, colour, edge_colour);
}

}  // namespace quelt
