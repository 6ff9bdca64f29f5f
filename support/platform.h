// Platform layer of the support units: the few things that differ between the Windows and the
// POSIX builds, so that both compile from the same source. Internal to the library.
#ifndef TARVELLO_SUPPORT_PLATFORM_H_
#define TARVELLO_SUPPORT_PLATFORM_H_

#include <stddef.h>

#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

// Byte placed between a directory and a file name in a path. Windows takes the backslash; on
// POSIX systems a backslash is an ordinary file-name byte, so the slash is used there.
#if defined(_WIN32)
static constexpr char tds_dir_separator = '\\';
#else
static constexpr char tds_dir_separator = '/';
#endif

// Writes the current working directory into buf (size bytes, NUL included). Returns buf, or a
// null pointer when the directory cannot be determined or does not fit.
static inline char* tds_getcwd(char* buf, size_t size) {
#if defined(_WIN32)
  // _getcwd takes an int size; the callers' buffers are small, but never pass a truncated size.
  if (size > 0x7FFFFFFF) size = 0x7FFFFFFF;
  return _getcwd(buf, static_cast<int>(size));
#else
  return getcwd(buf, size);
#endif
}

#endif  // TARVELLO_SUPPORT_PLATFORM_H_
