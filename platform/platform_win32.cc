// The Windows backend of the platform layer: the kernel's own file search,
// tick count and file handles. Files are opened as binary handles; the CR LF
// and 0x1A rules are the shared text reader's, so that offsets and quote
// numbers agree with every other platform. Standard output stays a text
// stream, so each line feed written goes out as CR LF.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "platform/platform.h"

namespace {

// A file handle travels through the layer as an int. Windows keeps kernel
// handles within 32 bits so that 32-bit and 64-bit processes can share them,
// and INVALID_HANDLE_VALUE becomes -1, the layer's "not open".
int handle_number(HANDLE handle) { return HandleToLong(handle); }

HANDLE handle_of(int number) { return LongToHandle(number); }

// Every handle shares everything, deleting included: where Windows offers
// POSIX semantics (file_rename), a rebuild can then replace an index that
// other runs hold open.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE;

OVERLAPPED at_offset(int64_t offset) {
  OVERLAPPED position = {};
  uint64_t bits = static_cast<uint64_t>(offset);
  position.Offset = static_cast<DWORD>(bits);
  position.OffsetHigh = static_cast<DWORD>(bits >> 32);
  return position;
}

// 320: a name in its long form below: the temporary index name (at most 291
// characters, see pending_index_path) behind the 8-character "\\?\UNC\".
constexpr DWORD wide_path_size = 320;

// Whether the narrow ("A") file functions, limited to MAX_PATH, can take it.
bool fits_narrow(const char* path) { return strlen(path) < MAX_PATH; }

// The form of a path that the wide ("W") functions take beyond MAX_PATH:
// absolute, with backslashes, behind "\\?\" (or "\\?\UNC\" for a share).
// The bytes are read in the code page the narrow functions use.
bool long_form(const char* path, wchar_t (&wide)[wide_path_size]) {
  wchar_t given[wide_path_size];
  UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  if (MultiByteToWideChar(code_page, 0, path, -1, given, wide_path_size) ==
      0) {
    return false;
  }
  wchar_t full[wide_path_size];
  DWORD length = GetFullPathNameW(given, wide_path_size, full, nullptr);
  if (length == 0 || length >= wide_path_size) {
    return false;
  }
  const wchar_t* prefix = L"\\\\?\\";
  const wchar_t* rest = full;
  if (full[0] == L'\\' && full[1] == L'\\') {
    if (full[2] == L'?' || full[2] == L'.') {
      prefix = L"";  // already a device path
    } else {
      prefix = L"\\\\?\\UNC\\";
      rest = full + 2;
    }
  }
  size_t prefix_length = wcslen(prefix);
  size_t rest_length = wcslen(rest);
  if (prefix_length + rest_length >= wide_path_size) {
    return false;
  }
  wmemcpy(wide, prefix, prefix_length);
  wmemcpy(wide + prefix_length, rest, rest_length + 1);
  return true;
}

HANDLE open_file(const char* path, DWORD access, DWORD disposition) {
  if (fits_narrow(path)) {
    return CreateFileA(path, access, share_all, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  wchar_t wide[wide_path_size];
  if (!long_form(path, wide)) {
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(wide, access, share_all, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// FILE_RENAME_INFO as Windows 10 1607 and later read it, with flags in
// place of ReplaceIfExists (these headers give that form to newer targets
// only).
struct RenameInformation {
  DWORD flags;
  HANDLE root_directory;
  DWORD file_name_length;  // in bytes, the terminator not counted
  wchar_t file_name[wide_path_size];
};

// FileRenameInfoEx; FILE_RENAME_FLAG_REPLACE_IF_EXISTS and
// FILE_RENAME_FLAG_POSIX_SEMANTICS.
constexpr int rename_information_class = 22;
constexpr DWORD replace_if_exists = 0x1;
constexpr DWORD posix_semantics = 0x2;

using SetInformation = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS,
                                     LPVOID, DWORD);

// Replaces `to` by `from` with POSIX semantics, where the replaced file
// leaves its name even while other runs hold it open: Windows 10 1607 and
// later, on NTFS. False where that is not offered. Looked up at run time, so
// that the program still starts on older Windows.
bool replace_open_file(const wchar_t* from, const wchar_t* to) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC found =
      kernel ? GetProcAddress(kernel, "SetFileInformationByHandle") : nullptr;
  if (!found) {
    return false;
  }
  // Through void (*)(), which converts to any function type unwarned.
  SetInformation set_information = reinterpret_cast<SetInformation>(
      reinterpret_cast<void (*)()>(found));
  RenameInformation information = {};
  size_t length = wcslen(to);
  information.flags = replace_if_exists | posix_semantics;
  information.file_name_length =
      static_cast<DWORD>(length * sizeof(wchar_t));
  wmemcpy(information.file_name, to, length + 1);
  HANDLE handle = CreateFileW(from, DELETE, share_all, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BOOL renamed = set_information(
      handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(rename_information_class),
      &information, sizeof information);
  CloseHandle(handle);
  return renamed != 0;
}

// 100 times 10 ms: how long a rename waits for other runs to let go of the
// index it replaces. A run holds the index for as long as it runs, a few
// milliseconds.
constexpr int rename_attempts = 100;
constexpr DWORD rename_pause_milliseconds = 10;

// 1 GiB: the most one ReadFile or WriteFile call is asked to move.
constexpr size_t transfer_size_limit = size_t{1} << 30;

DWORD transfer_size(size_t size) {
  return static_cast<DWORD>(size < transfer_size_limit ? size
                                                       : transfer_size_limit);
}

}  // namespace

void platform_start(const char*) {
  // A CGI run has no one to answer a dialog: a search that touches an empty
  // removable drive, or a crash, must not wait for a click.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
               SEM_NOOPENFILEERRORBOX);
  // Text mode: every "\n" written goes out as CR LF, "\r" unchanged.
  _setmode(_fileno(stdout), _O_TEXT);
}

SearchResult search_file(const char* name, char (&path)[path_size]) {
  // No search path and no extension: the executable's directory first, then
  // the system's search order for files (current directory, system
  // directories, PATH). A path that does not fit gives the size it needs.
  DWORD length = SearchPathA(nullptr, name, nullptr, path_size, path, nullptr);
  if (length == 0) {
    // Wine reports a found path beyond MAX_PATH as this error, not its size.
    return GetLastError() == ERROR_FILENAME_EXCED_RANGE
               ? SearchResult::too_long
               : SearchResult::not_found;
  }
  if (length >= static_cast<DWORD>(path_size)) {
    return SearchResult::too_long;
  }
  return SearchResult::found;
}

uint32_t tick_milliseconds() { return static_cast<uint32_t>(GetTickCount()); }

int64_t calendar_seconds() { return static_cast<int64_t>(time(nullptr)); }

unsigned long process_number() {
  return static_cast<unsigned long>(GetCurrentProcessId());
}

int file_open_read(const char* path) {
  return handle_number(open_file(path, GENERIC_READ, OPEN_EXISTING));
}

// The temporary index name is longer than the index path, so it may pass
// MAX_PATH where the index path does not.
int file_create(const char* path) {
  return handle_number(open_file(path, GENERIC_WRITE, CREATE_ALWAYS));
}

int64_t file_read_at(int handle, void* data, size_t size, int64_t offset) {
  size_t done = 0;
  char* bytes = static_cast<char*>(data);
  while (done < size) {
    OVERLAPPED position = at_offset(offset + static_cast<int64_t>(done));
    DWORD got = 0;
    if (!ReadFile(handle_of(handle), bytes + done, transfer_size(size - done),
                  &got, &position)) {
      // A read that starts at or past the end reports the end as an error.
      if (GetLastError() == ERROR_HANDLE_EOF) {
        break;
      }
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (got == 0) {
      break;
    }
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool file_write(int handle, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    if (!WriteFile(handle_of(handle), bytes, transfer_size(size), &put,
                   nullptr) ||
        put == 0) {
      return false;
    }
    bytes += put;
    size -= put;
  }
  return true;
}

bool file_write_at(int handle, const void* data, size_t size, int64_t offset) {
  // A positioned write moves the file pointer of a synchronous handle; put it
  // back, so that later plain writes continue where they left off.
  LARGE_INTEGER zero = {};
  LARGE_INTEGER current = {};
  if (!SetFilePointerEx(handle_of(handle), zero, &current, FILE_CURRENT)) {
    return false;
  }
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    OVERLAPPED position = at_offset(offset);
    DWORD put = 0;
    if (!WriteFile(handle_of(handle), bytes, transfer_size(size), &put,
                   &position) ||
        put == 0) {
      return false;
    }
    bytes += put;
    size -= put;
    offset += put;
  }
  return SetFilePointerEx(handle_of(handle), current, nullptr, FILE_BEGIN) !=
         0;
}

int64_t file_size(int handle) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(handle_of(handle), &size)) {
    return -1;
  }
  return static_cast<int64_t>(size.QuadPart);
}

bool file_close(int handle) { return CloseHandle(handle_of(handle)) != 0; }

bool file_rename(const char* from, const char* to) {
  wchar_t wide_from[wide_path_size];
  wchar_t wide_to[wide_path_size];
  if (!long_form(from, wide_from) || !long_form(to, wide_to)) {
    return false;
  }
  if (replace_open_file(wide_from, wide_to)) {
    return true;
  }
  // Otherwise Windows cannot replace a file that another process holds
  // open, and a virus scanner may hold a new file for a moment: wait for
  // them, unless what stands at the target is a directory.
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING)) {
      return true;
    }
    DWORD error = GetLastError();
    DWORD target = GetFileAttributesW(wide_to);
    bool held = (error == ERROR_ACCESS_DENIED ||
                 error == ERROR_SHARING_VIOLATION) &&
                (target == INVALID_FILE_ATTRIBUTES ||
                 (target & FILE_ATTRIBUTE_DIRECTORY) == 0);
    if (!held || attempt == rename_attempts) {
      return false;
    }
    Sleep(rename_pause_milliseconds);
  }
}

void file_remove(const char* path) {
  if (fits_narrow(path)) {
    DeleteFileA(path);
    return;
  }
  wchar_t wide[wide_path_size];
  if (long_form(path, wide)) {
    DeleteFileW(wide);
  }
}
