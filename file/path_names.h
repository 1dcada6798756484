#pragma once
// Path text without the file system: full paths, splitting at the last separator and
// wildcard matching. Every output buffer holds kPathBufferSize (260) bytes; a result that
// does not fit fails with -1 and leaves the buffer holding an empty string.
#include <cstdint>

namespace quelt {

// `path` made absolute against `base` (null: the current directory of the file-access
// table); ".." and "." resolved, separators turned into backslashes.
int MakeFullPath(const char* path, char* out, const char* base);
// As MakeFullPath, but an empty component between two separators fails with -1, and a
// leading double separator is not a network path.
int MakeFullPathStrict(const char* path, char* out, const char* base);
// The archive set's upper-cased full path against a base already upper-cased.
int MakeUpperFullPathFrom(const char* path, const char* upperBase, char* out);

// Splits at the last slash, backslash or colon: the directory keeps that separator.
int SplitPathAtLastSeparator(char* fileNameOut, char* directoryOut, const char* path);

// 0 when `name` matches `pattern` (? one byte, * a run, no backtracking), -1 otherwise.
int MatchWildcard(const char* pattern, const char* name);

}  // namespace quelt
