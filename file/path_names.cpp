#include "file/path_names.h"

#include <cstring>

#include "file/archive_format.h"
#include "file/file_access.h"

namespace quelt {

namespace {

struct PathOptions {
  bool strict;
  bool upper;
};

// A bounded string builder over one 260-byte path buffer.
class PathOut {
 public:
  explicit PathOut(char* buffer) : buffer_(buffer) { buffer_[0] = 0; }
  bool Append(const char* text, size_t length) {
    if (length >= static_cast<size_t>(kPathBufferSize) - length_) return fits_ = false;
    std::memcpy(buffer_ + length_, text, length);
    length_ += length;
    buffer_[length_] = 0;
    return true;
  }
  bool Append(const char* text) { return Append(text, std::strlen(text)); }
  // ".." : back to the last separator; a colon (the drive) stops it.
  void DropLastComponent() {
    size_t lastSeparator = SIZE_MAX;
    bool colonLast = false;
    for (size_t i = 0; i < length_; ++i) {
      const auto c = static_cast<uint8_t>(buffer_[i]);
      if (IsPathSeparator(static_cast<char>(c))) {
        lastSeparator = i;
        colonLast = false;
      } else if (c == ':') {
        colonLast = true;
      } else if (IsArchiveLeadByte(c) && i + 1 < length_) {
        ++i;
      }
    }
    if (lastSeparator == SIZE_MAX || colonLast) return;
    length_ = lastSeparator;
    buffer_[length_] = 0;
  }
  bool Fits() const { return fits_; }
  int Fail() {
    buffer_[0] = 0;
    return -1;
  }

 private:
  char* buffer_;
  size_t length_ = 0;
  bool fits_ = true;
};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of the base without one trailing separator (a Shift-JIS trail byte is no separator).
size_t BaseLengthWithoutTrailingSeparator(const char* base) {
  size_t length = 0, lastCharStart = 0;
  const auto* b = reinterpret_cast<const uint8_t*>(base);
  while (b[length]) {
    lastCharStart = length;
    length += (IsArchiveLeadByte(b[length]) && b[length + 1]) ? 2 : 1;
  }
  if (length && lastCharStart == length - 1 && IsPathSeparator(base[length - 1])) --length;
  return length;
}

int BuildFullPath(const char* path, char* outBuffer, const char* base, PathOptions options) {
  char currentDir[kPathBufferSize];
  if (!base) {
    currentDir[0] = 0;
    FileAccessGetDir(currentDir);
    currentDir[kPathBufferSize - 1] = 0;
    base = currentDir;
  }
  PathOut out(outBuffer);
  if (!path) return out.Append(base) ? 0 : out.Fail();

  const char* p = path;
  const bool leadingRoot = p[0] == '\\' || (options.upper && p[0] == '/');
  if (!options.strict && ((p[0] == '\\' && p[1] == '\\') || (p[0] == '/' && p[1] == '/'))) {
    out.Append("\\");
    p += 2;
  } else if (leadingRoot) {
    if (std::strlen(base) < 2) return out.Fail();
    const char drive[2] = {options.upper ? UpperAscii(base[0]) : base[0], base[1]};
    out.Append(drive, 2);
    p += 1;
  } else if (p[0] && p[1] == ':') {
    const char drive[2] = {options.upper ? UpperAscii(p[0]) : p[0], ':'};
    out.Append(drive, 2);
    p += 2;
    if (*p == '\\') ++p;
  } else {
    out.Append(base, BaseLengthWithoutTrailingSeparator(base));
  }

  // Components; the last one (not followed by a separator) is taken as it stands.
  char component[kPathBufferSize];
  while (*p) {
    size_t n = 0;
    bool tooLong = false;
    while (p[n] && !IsPathSeparator(p[n])) {
      const size_t take = (IsArchiveLeadByte(static_cast<uint8_t>(p[n])) && p[n + 1]) ? 2 : 1;
      if (n + take >= sizeof component) tooLong = true;
      if (!tooLong) {
        component[n] = options.upper && take == 1 ? UpperAscii(p[n]) : p[n];
        if (take == 2) component[n + 1] = p[n + 1];
      }
      n += take;
    }
    if (tooLong) return out.Fail();
    component[n] = 0;
    const bool last = p[n] == 0;
    if (last) {
      out.Append("\\");
      out.Append(component, n);
      break;
    }
    if (n == 0) {
      if (options.strict) return out.Fail();
    } else if (n == 1 && component[0] == '.') {
      // Dropped.
    } else if (n == 2 && component[0] == '.' && component[1] == '.') {
      out.DropLastComponent();
    } else {
      out.Append("\\");
      out.Append(component, n);
    }
    p += n + 1;
  }
  return out.Fits() ? 0 : out.Fail();
}

}  // namespace

int MakeFullPath(const char* path, char* out, const char* base) { return BuildFullPath(path, out, base, {false, false}); }

int MakeFullPathStrict(const char* path, char* out, const char* base) {
  return BuildFullPath(path, out, base, {true, false});
}

int MakeUpperFullPathFrom(const char* path, const char* upperBase, char* out) {
  return BuildFullPath(path, out, upperBase, {false, true});
}

int SplitPathAtLastSeparator(char* fileNameOut, char* directoryOut, const char* path) {
  size_t split = 0;  // bytes of the directory part, its separator included
  const auto* p = reinterpret_cast<const uint8_t*>(path);
  size_t i = 0;
  while (p[i]) {
    if (IsPathSeparator(static_cast<char>(p[i])) || p[i] == ':') {
      split = i + 1;
      ++i;
    } else {
      i += (IsArchiveLeadByte(p[i]) && p[i + 1]) ? 2 : 1;
    }
  }
  const size_t nameLength = i - split;
  if (split >= static_cast<size_t>(kPathBufferSize) || nameLength >= static_cast<size_t>(kPathBufferSize)) {
    if (fileNameOut) fileNameOut[0] = 0;
    if (directoryOut) directoryOut[0] = 0;
    return -1;
  }
  if (directoryOut) {
    std::memcpy(directoryOut, path, split);
    directoryOut[split] = 0;
  }
  if (fileNameOut) {
    std::memcpy(fileNameOut, path + split, nameLength);
    fileNameOut[nameLength] = 0;
  }
  return 0;
}

int MatchWildcard(const char* pattern, const char* name) {
  const auto* p = reinterpret_cast<const uint8_t*>(pattern);
  const auto* n = reinterpret_cast<const uint8_t*>(name);
  while (true) {
    if (!*p && !*n) return 0;
    if (!*p) return -1;
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return 0;
      // No backtracking: the first occurrence of the next pattern byte is taken.
      while (*n && *n != *p) ++n;
      if (!*n) return -1;
      ++p;
      ++n;
      continue;
    }
    if (!*n) return -1;
    if (IsArchiveLeadByte(*p) && p[1]) {
      if (n[0] != p[0] || n[1] != p[1]) return -1;
      p += 2;
      n += 2;
      continue;
    }
    if (*p != '?' && *p != *n) return -1;
    ++p;
    ++n;
  }
}

}  // namespace quelt
