#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/tracked_alloc.h"
#include "file/path_names.h"
#include "file/win32_file.h"

namespace quelt {

namespace {

bool CopyBounded(char* out, const char* text, size_t capacity) {
  const size_t length = std::strlen(text);
  if (length >= capacity) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

// Opens for reading with read sharing; -1 size when the file is 4 GB or more.
HANDLE OpenForRead(const char* path, int32_t* sizeOut) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  DWORD high = 0;
  const DWORD low = GetFileSize(h, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > 0x7FFFFFFF) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  *sizeOut = static_cast<int32_t>(low);
  return h;
}

void WaitThreadEnd(HANDLE thread) {
  DWORD code = STILL_ACTIVE;
  while (GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) Sleep(0);
}

void CloseThreadObjects(Win32File& f) {
  if (f.requestEvent) CloseHandle(f.requestEvent);
  if (f.doneEvent) CloseHandle(f.doneEvent);
  f.requestEvent = f.doneEvent = nullptr;
}

void FreeFile(Win32File* f) {
  if (f->cache) TrackedFree(f->cache);
  TrackedFree(f);
}

FileHandle OpenThreaded(Win32File* f) {
  if (f->cacheFlag) {
    f->cache = static_cast<uint8_t*>(TrackedAlloc(kFileCacheSize, __FILE__, __LINE__));
    if (!f->cache) {
      WriteLog("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      FreeFile(f);
      return 0;
    }
  }
  f->requestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  f->doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  DWORD threadId = 0;
  f->threadHandle = f->requestEvent && f->doneEvent ? CreateThread(nullptr, 0, FileAccessThread, f, 0, &threadId) : nullptr;
  if (!f->threadHandle) {
    CloseThreadObjects(*f);
    WriteLog("ファイルアクセス専用スレッドの作成に失敗しました\n");
    FreeFile(f);
    return 0;
  }
  f->threadId = threadId;
  PostFileCommand(*f, kFileCommandOpen);
  WaitFileDone(*f);
  if (f->openFailed) {
    CloseThreadObjects(*f);
    WaitThreadEnd(f->threadHandle);
    CloseHandle(f->threadHandle);
    WriteLog("ファイルのオープンに失敗しました\n");
    FreeFile(f);
    return 0;
  }
  return reinterpret_cast<FileHandle>(f);
}

}  // namespace

void PostFileCommand(Win32File& f, int32_t command) {
  WaitFileDone(f);
  f.command = command;
  ResetEvent(f.doneEvent);
  SetEvent(f.requestEvent);
}

void WaitFileDone(Win32File& f) { WaitForSingleObject(f.doneEvent, INFINITE); }

FileHandle OpenWin32File(const char* path, int32_t cacheFlag, int32_t, int32_t asyncFlag) {
  if (!path) return 0;
  auto* f = static_cast<Win32File*>(TrackedCalloc(sizeof(Win32File), __FILE__, __LINE__));
  if (!f) return 0;
  if (!CopyBounded(f->path, path, sizeof f->path)) {
    FreeFile(f);
    return 0;
  }
  f->cacheFlag = cacheFlag;
  f->asyncFlag = asyncFlag;
  f->threaded = cacheFlag || asyncFlag;
  HANDLE h = OpenForRead(path, &f->size);
  if (h == INVALID_HANDLE_VALUE) {
    FreeFile(f);
    return 0;
  }
  if (!f->threaded) {
    f->osHandle = h;
    return reinterpret_cast<FileHandle>(f);
  }
  // The thread opens the file itself; this open only took the size.
  CloseHandle(h);
  return OpenThreaded(f);
}

int32_t CloseWin32File(FileHandle file) {
  Win32File* f = AsWin32File(file);
  if (!f) return -1;
  int32_t result = 0;
  if (!f->threaded) {
    result = CloseHandle(f->osHandle) ? 0 : -1;
  } else {
    PostFileCommand(*f, kFileCommandCloseAndEnd);
    WaitFileDone(*f);
    WaitThreadEnd(f->threadHandle);
    CloseHandle(f->threadHandle);
    CloseThreadObjects(*f);
  }
  FreeFile(f);
  return result;
}

int32_t Win32FileTell(FileHandle file) { return AsWin32File(file)->position; }

int32_t Win32FileEof(FileHandle file) { return AsWin32File(file)->eof ? -1 : 0; }

int32_t Win32FileIdle(FileHandle file) {
  Win32File* f = AsWin32File(file);
  if (!f->threaded) return 1;
  return WaitForSingleObject(f->doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int32_t Win32FileSeek(FileHandle file, int32_t offset, int32_t origin) {
  Win32File* f = AsWin32File(file);
  int64_t target = offset;
  if (origin == 1) target += f->position;
  else if (origin == 2) target += f->size;
  if (target < 0 || target > 0x7FFFFFFF) return -1;
  if (!f->threaded) {
    if (SetFilePointer(f->osHandle, static_cast<LONG>(target), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return -1;
  } else {
    WaitFileDone(*f);
    f->seekPosition = static_cast<int32_t>(target);
    PostFileCommand(*f, kFileCommandSeek);
  }
  f->position = static_cast<int32_t>(target);
  f->eof = 0;
  return 0;
}

int32_t Win32FileRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file) {
  Win32File* f = AsWin32File(file);
  if (itemSize <= 0 || itemCount <= 0) return 0;
  // At or past the end (a seek may go beyond it): nothing to read.
  if (f->position >= f->size) {
    f->eof = 1;
    return 0;
  }
  const int64_t left = f->size - f->position;
  int64_t count = itemCount;
  if (count * itemSize > left) count = left / itemSize;
  if (count == 0) {
    f->eof = 1;
    return 0;
  }
  const auto bytes = static_cast<int32_t>(count * itemSize);
  if (!f->threaded) {
    DWORD got = 0;
    if (!ReadFile(f->osHandle, dest, static_cast<DWORD>(bytes), &got, nullptr)) got = 0;
    f->position += static_cast<int32_t>(got);
    return static_cast<int32_t>(got / static_cast<DWORD>(itemSize));
  }
  WaitFileDone(*f);
  f->readDest = static_cast<uint8_t*>(dest);
  f->readPosition = f->position;
  f->readCount = bytes;
  PostFileCommand(*f, kFileCommandRead);
  if (f->asyncFlag) {
    // The caller polls idle before touching the destination; the count is what was asked.
    f->position += bytes;
    return static_cast<int32_t>(count);
  }
  WaitFileDone(*f);
  f->position += f->readCount;
  return f->readCount / itemSize;
}

int32_t Win32ChangeDir(const char* path) { return SetCurrentDirectoryA(path) ? 1 : 0; }

// The folder's length, or -1 with an empty buffer when it does not fit (GetCurrentDirectoryA
// then gives the size it would need and leaves the buffer as it was).
int32_t Win32GetDir(char* buffer) {
  const DWORD length = GetCurrentDirectoryA(kPathBufferSize, buffer);
  if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) {
    buffer[0] = 0;
    return -1;
  }
  return static_cast<int32_t>(length);
}

void FileTimeToDateRecord(uint32_t low, uint32_t high, DateRecord* out) {
  const FILETIME utc{low, high};
  FILETIME local{};
  SYSTEMTIME st{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  *out = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

namespace {
void FillFindData(const WIN32_FIND_DATAA& w, FindData* data) {
  if (!data) return;
  std::memcpy(data->name, w.cFileName, sizeof data->name);
  data->name[sizeof data->name - 1] = 0;
  data->directory = (w.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  data->sizeLow = static_cast<int32_t>(w.nFileSizeLow);
  data->sizeHigh = static_cast<int32_t>(w.nFileSizeHigh);
  FileTimeToDateRecord(w.ftCreationTime.dwLowDateTime, w.ftCreationTime.dwHighDateTime, &data->creationTime);
  FileTimeToDateRecord(w.ftLastWriteTime.dwLowDateTime, w.ftLastWriteTime.dwHighDateTime, &data->lastWriteTime);
}
}  // namespace

FindHandle Win32FindFirst(const char* path, FindData* data) {
  WIN32_FIND_DATAA w;
  HANDLE h = FindFirstFileA(path, &w);
  if (h == INVALID_HANDLE_VALUE) return -1;
  FillFindData(w, data);
  return reinterpret_cast<FindHandle>(h);
}

int32_t Win32FindNext(FindHandle find, FindData* data) {
  WIN32_FIND_DATAA w;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &w)) return -1;
  FillFindData(w, data);
  return 0;
}

int32_t Win32FindClose(FindHandle find) { return FindClose(reinterpret_cast<HANDLE>(find)) ? 0 : -1; }

void* CreateTempFile(char* nameOut) {
  char directory[256];
  const DWORD length = GetTempPathA(sizeof directory, directory);
  if (length == 0 || length >= sizeof directory) return nullptr;
  if (directory[length - 1] != '\\') {
    if (length + 1 >= sizeof directory) return nullptr;
    directory[length] = '\\';
    directory[length + 1] = 0;
  }
  char name[MAX_PATH];
  if (!GetTempFileNameA(directory, "tmp", 0, name)) return nullptr;
  char full[kPathBufferSize];
  if (MakeFullPathStrict(name, full, nullptr) != 0) {
    DeleteFileA(name);
    return nullptr;
  }
  DeleteFileA(full);
  HANDLE h = CreateFileA(full, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (nameOut) std::memcpy(nameOut, full, std::strlen(full) + 1);
  return h;
}

}  // namespace quelt
