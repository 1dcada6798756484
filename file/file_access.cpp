#include "file/file_access.h"

#ifdef _WIN32
#include "file/vfs.h"
#include "file/win32_file.h"
#endif

namespace quelt {

#ifdef _WIN32
constinit FileAccessTable FileAccess = kVfsFileSet;
#else
constinit FileAccessTable FileAccess = {};
#endif

int32_t PlainFileAccessSwitch = 0;

int SetFileAccessTable(const FileAccessTable* table) {
  if (table) {
    FileAccess = *table;
    return 0;
  }
#ifdef _WIN32
  FileAccess = PlainFileAccessSwitch == 1 ? kWin32FileSet : kVfsFileSet;
#else
  FileAccess = {};
#endif
  return 0;
}

// The forwarders read the slot at each call, so an open file follows a replaced table.
FileHandle FileAccessOpen(const char* path, int32_t cacheFlag, int32_t unused, int32_t asyncFlag) {
  return FileAccess.open ? FileAccess.open(path, cacheFlag, unused, asyncFlag) : 0;
}
int32_t FileAccessClose(FileHandle file) { return FileAccess.close ? FileAccess.close(file) : -1; }
int32_t FileAccessTell(FileHandle file) { return FileAccess.tell ? FileAccess.tell(file) : -1; }
int32_t FileAccessSeek(FileHandle file, int32_t offset, int32_t origin) {
  return FileAccess.seek ? FileAccess.seek(file, offset, origin) : -1;
}
int32_t FileAccessRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file) {
  return FileAccess.read ? FileAccess.read(dest, itemSize, itemCount, file) : 0;
}
int32_t FileAccessEof(FileHandle file) { return FileAccess.eof ? FileAccess.eof(file) : -1; }
int32_t FileAccessIdle(FileHandle file) { return FileAccess.idle ? FileAccess.idle(file) : 1; }
int32_t FileAccessGetDir(char* buffer) { return FileAccess.getDir ? FileAccess.getDir(buffer) : -1; }

namespace {
constexpr StreamOps kFileStreamOps = {FileAccessTell, FileAccessSeek, FileAccessRead,
                                      FileAccessEof,  FileAccessIdle, FileAccessClose};
constexpr StreamOps kMemoryStreamOps = {MemoryStreamTell, MemoryStreamSeek, MemoryStreamRead,
                                        MemoryStreamEof,  MemoryStreamIdle, CloseMemoryStream};
}  // namespace

const StreamOps* GetFileStreamOps() { return &kFileStreamOps; }
const StreamOps* GetMemoryStreamOps() { return &kMemoryStreamOps; }

}  // namespace quelt
