#pragma once
// Loading an image file or memory block through the reader table, with the turn option,
// DIB output and the "_a" alpha-image rule.
#include <cstdint>

#include "image/raster_image.h"

namespace quelt {

inline constexpr int kAlphaNameBufferBytes = 260;

// memoryFlag 1 reads (memoryBlock, memorySize) and ignores path; otherwise the file at path
// is opened through the file-access table. dibFlag 1 hands out a 1068-byte header block and
// the DIB rows (*dibHeaderOut, *dibBitsOut, both tracked blocks) instead of the image;
// turn 1 mirrors the image left to right. 0 or -1; the stream is closed on every road.
int LoadRasterImageEx(const char* path, const void* memoryBlock, int32_t memorySize, int memoryFlag,
                      int dibFlag, int turn, RasterImage* image, void** dibHeaderOut,
                      uint8_t** dibBitsOut);
int LoadRasterImage(const char* path, const void* memoryBlock, int32_t memorySize, int memoryFlag,
                    RasterImage* image, int turn);

// 0 when the image and its alpha image loaded, 1 when only the image did (alphaImage
// untouched), -1 when the image itself failed. The alpha file is path with "_a" before its
// last dot (or at its end).
int LoadImageWithAlphaFile(const char* path, const void* memoryBlock, int32_t memorySize,
                           int memoryFlag, const void* alphaBlock, int32_t alphaSize,
                           int alphaMemoryFlag, RasterImage* image, RasterImage* alphaImage,
                           int turn);

// Builds the alpha file name into out (kAlphaNameBufferBytes); -1 when it does not fit.
int MakeAlphaFileName(const char* path, char* out);

}  // namespace quelt
