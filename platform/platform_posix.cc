// The POSIX backend of the platform layer.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

const char* program_name = nullptr;

// 4096: Linux's PATH_MAX; a candidate is built here before its length is
// judged, so that a long path that exists is told from one that does not.
constexpr size_t candidate_size = 4096;

// Completes the directory held in the first `directory_length` bytes of
// `candidate` with "/" + `name`, and tells whether that names an existing
// file that is not a directory; fills `path` with it, or reports that it
// would not fit.
SearchResult try_candidate(char (&candidate)[candidate_size],
                           size_t directory_length, const char* name,
                           char (&path)[path_size]) {
  size_t name_length = strlen(name);
  size_t length = directory_length + 1 + name_length;
  if (length >= candidate_size) {
    return SearchResult::not_found;
  }
  candidate[directory_length] = '/';
  memcpy(candidate + directory_length + 1, name, name_length + 1);
  struct stat info;
  if (stat(candidate, &info) != 0 || S_ISDIR(info.st_mode)) {
    return SearchResult::not_found;
  }
  if (length >= static_cast<size_t>(path_size)) {
    return SearchResult::too_long;
  }
  memcpy(path, candidate, length + 1);
  return SearchResult::found;
}

// The current directory, written at the start of `candidate`; its length, or
// 0 when unknown.
size_t current_directory(char (&candidate)[candidate_size]) {
  return getcwd(candidate, sizeof candidate) ? strlen(candidate) : 0;
}

// The directory part of the running executable's path, or 0 when unknown.
size_t executable_directory(char (&directory)[candidate_size]) {
  ssize_t length = readlink("/proc/self/exe", directory, sizeof directory - 1);
  if (length <= 0) {
    if (!program_name || !strchr(program_name, '/')) {
      return 0;
    }
    int written = snprintf(directory, sizeof directory, "%s", program_name);
    if (written < 0 || static_cast<size_t>(written) >= sizeof directory) {
      return 0;
    }
    length = written;
  }
  directory[length] = '\0';
  char* slash = strrchr(directory, '/');
  if (!slash) {
    return 0;
  }
  // The root directory keeps its slash as a name of length 0 would not.
  return slash == directory ? 1 : static_cast<size_t>(slash - directory);
}

// The current directory's candidate. The file is looked for by its bare
// name first, so that the directory's path is asked for only when the file
// is there.
SearchResult try_current(const char* name, char (&candidate)[candidate_size],
                         char (&path)[path_size]) {
  struct stat info;
  if (stat(name, &info) != 0 || S_ISDIR(info.st_mode)) {
    return SearchResult::not_found;
  }
  size_t length = current_directory(candidate);
  if (length == 0) {
    return SearchResult::not_found;
  }
  return try_candidate(candidate, length, name, path);
}

// The executable's directory, where every search begins: found once by
// platform_start and kept when it fits in a path. One longer can lead only to
// a path too long, and each search finds it again.
struct KeptDirectory {
  bool kept = false;
  size_t length = 0;  // 0: unknown
  char text[path_size];
};

KeptDirectory executable;

// A clock read by system call. The C library's clocks read it from pages
// the kernel maps for the purpose, two of them on this machine, and the page
// faults of touching them cost far more than the call.
struct timespec kernel_clock(clockid_t clock) {
  struct timespec now = {};
  syscall(SYS_clock_gettime, clock, &now);
  return now;
}

}  // namespace

void platform_start(const char* argv0) {
  program_name = argv0;
  signal(SIGPIPE, SIG_IGN);
  char directory[candidate_size];
  size_t length = executable_directory(directory);
  if (length < static_cast<size_t>(path_size)) {
    memcpy(executable.text, directory, length);
    executable.length = length;
    executable.kept = true;
  }
}

SearchResult search_file(const char* name, char (&path)[path_size]) {
  // Every candidate is built in this one buffer, its directory first, so that
  // a search touches one page of stack and formats nothing.
  char candidate[candidate_size];
  size_t length = executable.length;
  if (executable.kept) {
    memcpy(candidate, executable.text, length);
  } else {
    length = executable_directory(candidate);
  }
  if (length > 0) {
    // A root directory gives "/name", not "//name".
    if (length == 1 && candidate[0] == '/') {
      length = 0;
    }
    SearchResult result = try_candidate(candidate, length, name, path);
    if (result != SearchResult::not_found) {
      return result;
    }
  }
  SearchResult result = try_current(name, candidate, path);
  if (result != SearchResult::not_found) {
    return result;
  }
  const char* search_path = getenv("PATH");
  if (!search_path) {
    return SearchResult::not_found;
  }
  for (const char* element = search_path;;) {
    const char* colon = strchr(element, ':');
    size_t element_length =
        colon ? static_cast<size_t>(colon - element) : strlen(element);
    result = SearchResult::not_found;
    if (element_length > 0 && element_length < candidate_size) {
      memcpy(candidate, element, element_length);
      result = try_candidate(candidate, element_length, name, path);
    } else if (element_length == 0) {
      // An empty element stands for the current directory.
      result = try_current(name, candidate, path);
    }
    if (result != SearchResult::not_found) {
      return result;
    }
    if (!colon) {
      return SearchResult::not_found;
    }
    element = colon + 1;
  }
}

uint32_t tick_milliseconds() {
  struct timespec now = kernel_clock(CLOCK_MONOTONIC);
  uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u +
                          static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(milliseconds);
}

int64_t calendar_seconds() {
  return static_cast<int64_t>(kernel_clock(CLOCK_REALTIME).tv_sec);
}

unsigned long process_number() { return static_cast<unsigned long>(getpid()); }

int file_open_read(const char* path) {
  return open(path, O_RDONLY | O_CLOEXEC);
}

int file_create(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int64_t file_read_at(int handle, void* data, size_t size, int64_t offset) {
  // One read: a regular file reads short only at its end, where asking again
  // would only return 0.
  for (;;) {
    ssize_t got = pread(handle, data, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    return got < 0 ? -1 : static_cast<int64_t>(got);
  }
}

bool file_write(int handle, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = write(handle, bytes, size);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return false;
    }
    bytes += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool file_write_at(int handle, const void* data, size_t size, int64_t offset) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = pwrite(handle, bytes, size, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return false;
    }
    bytes += put;
    size -= static_cast<size_t>(put);
    offset += put;
  }
  return true;
}

int64_t file_size(int handle) {
  struct stat info;
  if (fstat(handle, &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

bool file_close(int handle) { return close(handle) == 0; }

bool file_rename(const char* from, const char* to) {
  return rename(from, to) == 0;
}

void file_remove(const char* path) { unlink(path); }
