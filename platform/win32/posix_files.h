// Windows: the few POSIX file calls the core makes (open, read, write,
// close, fstat, stat, rename, unlink, fsync) mapped onto the C runtime's
// own file calls, which take wide-character path names. Included ahead of
// every core source by the Windows build; nothing in it runs on Linux.
//
// Every file is opened in binary mode (no CR LF translation: the files are
// byte-exact) and not inherited by child processes (_O_NOINHERIT, the
// counterpart of close-on-exec). Flags with no meaning on Windows are 0.
#pragma once
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <time.h>

#include <cwchar>

#ifndef O_CLOEXEC
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
// A folder cannot be opened as a file on Windows: such an open fails, and
// the folder flushes that use it are skipped (NTFS journals the entry).
#ifndef O_DIRECTORY
#define O_DIRECTORY 0
#endif

inline int open(const wchar_t* path, int flags, int mode = 0) {
  return ::_wopen(path, flags | _O_BINARY, mode & (_S_IREAD | _S_IWRITE));
}

inline int stat(const wchar_t* path, struct stat* out) {
  struct _stat64 st {};
  if (::_wstat64(path, &st) != 0) return -1;
  *out = {};
  out->st_dev = st.st_dev;
  out->st_ino = st.st_ino;
  out->st_mode = st.st_mode;
  out->st_nlink = st.st_nlink;
  out->st_size = static_cast<decltype(out->st_size)>(st.st_size);
  out->st_mtime = static_cast<decltype(out->st_mtime)>(st.st_mtime);
  return 0;
}

// Replaces the target like rename() on POSIX; the move is on disk when it returns.
int cfgRenameReplacing(const wchar_t* from, const wchar_t* to);
inline int rename(const wchar_t* from, const wchar_t* to) { return cfgRenameReplacing(from, to); }

inline int unlink(const wchar_t* path) { return ::_wunlink(path); }

inline int fsync(int fd) { return ::_commit(fd); }
inline int fdatasync(int fd) { return ::_commit(fd); }

// fopen with a wide name; glibc's "e" (close-on-exec) becomes "N" (not
// inherited) and every file is binary.
FILE* cfgOpenStream(const wchar_t* path, const char* mode);
inline FILE* fopen(const wchar_t* path, const char* mode) { return cfgOpenStream(path, mode); }

// A new folder with a unique name from a template ending in "XXXXXX"
// (UTF-8); the template is changed in place. Null on failure.
char* mkdtemp(char* templ);

inline time_t timegm(struct tm* t) { return ::_mkgmtime(t); }

#endif  // _WIN32
