#pragma once
// The replaceable file-access table through which every engine file access runs, and the
// two stream tables (over files and over memory blocks) that loaders read through.
#include <cstdint>

#include "core/clock.h"

namespace quelt {

// An open file of whichever set is installed (never 0 when valid), and a find handle
// (-1 when nothing matched).
using FileHandle = uintptr_t;
using FindHandle = intptr_t;
static_assert(sizeof(void*) != 4 || sizeof(FileHandle) == 4, "file handles are 32-bit values in the product");

constexpr int32_t kPathBufferSize = 260;


struct FindData {
  char name[260];
  int32_t directory;
  int32_t sizeLow;
  int32_t sizeHigh;
  DateRecord creationTime;
  DateRecord lastWriteTime;
};

struct FileAccessTable {
  FileHandle (*open)(const char* path, int32_t cacheFlag, int32_t unused, int32_t asyncFlag);
  int32_t (*close)(FileHandle file);
  int32_t (*tell)(FileHandle file);
  int32_t (*seek)(FileHandle file, int32_t offset, int32_t origin);
  int32_t (*read)(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file);
  int32_t (*eof)(FileHandle file);
  int32_t (*idle)(FileHandle file);
  int32_t (*changeDir)(const char* path);
  int32_t (*getDir)(char* buffer);
  FindHandle (*findFirst)(const char* path, FindData* data);
  int32_t (*findNext)(FindHandle find, FindData* data);
  int32_t (*findClose)(FindHandle find);
};

// The table in force: the archive-aware set from the start (empty in the native build,
// where tests install their own).
extern FileAccessTable FileAccess;

// Copies `table` in; null installs the Win32 set when PlainFileAccessSwitch is 1, else the
// archive-aware set. Returns 0.
int SetFileAccessTable(const FileAccessTable* table);
// Before start-up: 1 reads plain files only, never archives.
extern int32_t PlainFileAccessSwitch;

FileHandle FileAccessOpen(const char* path, int32_t cacheFlag, int32_t unused, int32_t asyncFlag);
int32_t FileAccessClose(FileHandle file);
int32_t FileAccessTell(FileHandle file);
int32_t FileAccessSeek(FileHandle file, int32_t offset, int32_t origin);
int32_t FileAccessRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file);
int32_t FileAccessEof(FileHandle file);
int32_t FileAccessIdle(FileHandle file);
int32_t FileAccessGetDir(char* buffer);

using StreamHandle = uintptr_t;

struct StreamOps {
  int32_t (*tell)(StreamHandle stream);
  int32_t (*seek)(StreamHandle stream, int32_t offset, int32_t origin);
  int32_t (*read)(void* dest, int32_t itemSize, int32_t itemCount, StreamHandle stream);
  int32_t (*eof)(StreamHandle stream);
  int32_t (*idle)(StreamHandle stream);
  int32_t (*close)(StreamHandle stream);
};

struct DataStream {
  StreamOps ops;
  StreamHandle handle;
};

struct MemoryStream {
  const uint8_t* data;
  int32_t size;
  int32_t position;
  int32_t eof;
};
static_assert(sizeof(void*) != 4 || sizeof(MemoryStream) == 16);

MemoryStream* OpenMemoryStream(const void* data, int32_t size);
int32_t CloseMemoryStream(StreamHandle stream);
int32_t MemoryStreamTell(StreamHandle stream);
int32_t MemoryStreamSeek(StreamHandle stream, int32_t offset, int32_t origin);
int32_t MemoryStreamRead(void* dest, int32_t itemSize, int32_t itemCount, StreamHandle stream);
int32_t MemoryStreamEof(StreamHandle stream);
int32_t MemoryStreamIdle(StreamHandle stream);

const StreamOps* GetFileStreamOps();
const StreamOps* GetMemoryStreamOps();

}  // namespace quelt
