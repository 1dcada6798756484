#pragma once
// The plain Win32 file set: direct reads, or reads through a file-access thread of the
// file's own with an optional read-ahead cache (file_thread_win32.cpp).
#include <cstdint>

#include "file/file_access.h"

namespace quelt {

enum FileAccessCommand : int32_t {
  kFileCommandOpen = 0,
  kFileCommandCloseFile = 1,
  kFileCommandRead = 2,
  kFileCommandSeek = 3,
  kFileCommandCloseAndEnd = 4,
};

constexpr int32_t kFileCacheSize = 0x20000;

struct Win32File {
  void* osHandle;          // direct handle, when the file has no thread
  int32_t threaded;
  int32_t cacheFlag;
  int32_t asyncFlag;
  int32_t eof;
  int32_t position;
  int32_t size;
  uint32_t threadId;
  void* threadHandle;
  void* threadFile;        // the thread's own handle (0 while closed)
  void* requestEvent;
  void* doneEvent;
  int32_t command;
  int32_t threadEnded;
  int32_t openFailed;
  char path[260];
  uint8_t* readDest;
  int32_t readPosition;
  int32_t readCount;       // bytes asked; after the read, bytes delivered
  int32_t seekPosition;
  uint8_t* cache;
  int32_t cacheStart;
  int32_t cacheFill;
};

FileHandle OpenWin32File(const char* path, int32_t cacheFlag, int32_t unused, int32_t asyncFlag);
int32_t CloseWin32File(FileHandle file);
int32_t Win32FileTell(FileHandle file);
int32_t Win32FileSeek(FileHandle file, int32_t offset, int32_t origin);
int32_t Win32FileRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file);
int32_t Win32FileEof(FileHandle file);
int32_t Win32FileIdle(FileHandle file);
int32_t Win32ChangeDir(const char* path);
int32_t Win32GetDir(char* buffer);
FindHandle Win32FindFirst(const char* path, FindData* data);
int32_t Win32FindNext(FindHandle find, FindData* data);
int32_t Win32FindClose(FindHandle find);

inline constexpr FileAccessTable kWin32FileSet = {
    OpenWin32File, CloseWin32File, Win32FileTell,  Win32FileSeek,  Win32FileRead,  Win32FileEof,
    Win32FileIdle, Win32ChangeDir, Win32GetDir,    Win32FindFirst, Win32FindNext,  Win32FindClose};

inline Win32File* AsWin32File(FileHandle file) { return reinterpret_cast<Win32File*>(file); }

// The worker loop of a threaded file (file_thread_win32.cpp). Its argument is the Win32File.
unsigned long __stdcall FileAccessThread(void* file);
// Posts a command: waits until the thread is free, stores it, wakes the thread.
void PostFileCommand(Win32File& file, int32_t command);
void WaitFileDone(Win32File& file);

// A FILETIME (low and high words) as local date and time.
void FileTimeToDateRecord(uint32_t low, uint32_t high, DateRecord* out);

// A new empty file in the temporary folder, open for writing; its full name (260 bytes)
// goes to `nameOut` when given. Returns the Win32 handle, or null.
void* CreateTempFile(char* nameOut);

}  // namespace quelt
