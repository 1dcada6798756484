#pragma once
// The engine's public entry functions. Start, stop and the per-frame pump take the API
// lock; everything else runs on the caller's thread without locking.
#include <cstdint>

namespace quelt {

struct ColorFormat;
struct DirectDrawPixelFormat;
struct RasterImage;

struct ApiRect {
  int32_t left, top, right, bottom;
};

int ApiStartEngine();
int ApiStopEngine();
int ApiPumpMessages();

int ApiSetWindowCaption(const char* text);
int ApiEnableLogFile(int32_t flag);
int ApiSetWindowIcon(int32_t icon_id);
int ApiDeleteAllScratchImages();
// Returns the record (null for a null record).
ApiRect* ApiMakeRect(ApiRect* rect, int32_t left, int32_t top, int32_t right, int32_t bottom);
int ApiIncreaseLogIndent();
int ApiDecreaseLogIndent();
int32_t ApiScreenConsoleHasText();

void* ApiQueryMainWindow();
int ApiChangeWindowMode(int32_t mode);
int ApiRequestScreenMode(int32_t width, int32_t height, int32_t bits, int32_t refresh);

// Forwarding entries of the image and graphics subsystems (arguments and results unchanged).
int32_t ApiOpenGraphFile(const char* path, int32_t flag);
int ApiPresentScreen();
int ApiEraseDrawScreen();
int ApiDrawGraphAtPoint(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int ApiDrawGraphRotated(int32_t x, int32_t y, double scale, double angle, int32_t graph, int32_t transparent,
                        int32_t turn);
int ApiSelectBlendMode(int32_t mode, int32_t param);
int ApiSelectDrawScreen(int32_t screen);
int ApiMakeRgbPixelFormat(DirectDrawPixelFormat* pixel_format, int32_t bits, uint32_t red, uint32_t green,
                          uint32_t blue, uint32_t alpha);
int ApiAllocXrgb32Image(int32_t width, int32_t height, RasterImage* image);
int ApiFreeRasterImage(RasterImage* image);
int ApiDecodeCompressedTexture(RasterImage* image);
uint32_t ApiMakeScreenColourCode(int32_t red, int32_t green, int32_t blue);
// Text in the default font; colours are screen colour codes. ApiDrawTextFormatted formats
// printf-style into 1024 bytes first.
void ApiDrawTextFormatted(int32_t x, int32_t y, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
int ApiDrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t colour, uint32_t edge_colour);
int ApiSetMaskColorFormat(ColorFormat* format, int32_t bits, uint32_t red, uint32_t green, uint32_t blue,
                          uint32_t alpha);

// Forwarding entries of the sound subsystem.
int32_t ApiLoadSoundFile(const char* path, int32_t buffer_count, int32_t flag);
int ApiPlaySoundHandle(int32_t sound, int32_t play_type, int32_t from_start);
int ApiStopSoundHandle(int32_t sound);

// Forwarding entry of input: 256 key states (1 down, 0 up) indexed by DirectInput key code.
// 0; -1 for a null buffer, and (buffer cleared) before start-up and after the stop.
int ApiReadAllKeys(uint8_t* keys);

}  // namespace quelt
