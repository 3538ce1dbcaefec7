// The text reader shared by every platform: the CR LF and 0x1A rules live
// here once, over the backend's raw positioned reads.

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char end_of_text = 0x1A;

// A read made to reach one line ends where a memory page of the buffer ends,
// so that it touches the page the record's fields share with the buffer's
// start, not the next one too. The least it reads is a quarter page.
size_t small_read_size(const TextFile& file) {
  uintptr_t at = reinterpret_cast<uintptr_t>(file.buffer + file.end);
  size_t wanted = text_small_read_size - at % text_small_read_size;
  return wanted < text_small_read_size / 4 ? wanted + text_small_read_size
                                           : wanted;
}

// Keeps the unread bytes and reads more behind them. False when nothing more
// can be read (end of file, the limit, or an error).
bool fill(TextFile& file) {
  if (file.at_end) {
    return false;
  }
  if (file.start > 0) {
    size_t kept = file.end - file.start;
    memmove(file.buffer, file.buffer + file.start, kept);
    file.buffer_offset += static_cast<int64_t>(file.start);
    file.end = kept;
    file.start = 0;
    file.scanned = false;
  }
  size_t wanted = file.large_reads ? text_buffer_size : small_read_size(file);
  if (wanted > text_buffer_size - file.end) {
    wanted = text_buffer_size - file.end;
  }
  int64_t offset = file.buffer_offset + static_cast<int64_t>(file.end);
  if (file.limited) {
    int64_t left = file.limit - offset;
    if (left <= 0) {
      file.at_end = true;
      return false;
    }
    if (static_cast<uint64_t>(left) < wanted) {
      wanted = static_cast<size_t>(left);
    }
  }
  int64_t got = file_read_at(file.handle, file.buffer + file.end, wanted,
                             offset);
  if (got <= 0) {
    file.failed = got < 0;
    file.at_end = true;
    return false;
  }
  file.end += static_cast<size_t>(got);
  file.scanned = false;
  return true;
}

// Finds the first CR or 0x1A at or after `start`. Both are rare in a quote
// file, so a scan looks for them once per buffer rather than once per line.
void find_special(TextFile& file) {
  const char* from = file.buffer + file.start;
  size_t size = file.end - file.start;
  const void* cr = memchr(from, '\r', size);
  if (cr) {
    size = static_cast<size_t>(static_cast<const char*>(cr) - from);
  }
  const void* eot = memchr(from, end_of_text, size);
  if (eot) {
    size = static_cast<size_t>(static_cast<const char*>(eot) - from);
  }
  file.special = file.start + size;
  file.scanned = true;
}

// Whether the CR at buffer[start] is directly followed by a LF. May read.
bool cr_before_lf(TextFile& file) {
  if (file.start + 1 == file.end && !fill(file)) {
    return false;
  }
  return file.buffer[file.start + 1] == '\n';
}

}  // namespace

bool text_open(TextFile& file, const char* path) {
  int handle = file_open_read(path);
  if (handle < 0) {
    return false;
  }
  file.is_open = true;
  file.handle = handle;
  file.buffer_offset = 0;
  file.start = 0;
  file.end = 0;
  file.limited = false;
  file.limit = 0;
  file.large_reads = false;
  file.at_end = false;
  file.failed = false;
  file.scanned = false;
  return true;
}

void text_close(TextFile& file) {
  if (file.is_open) {
    file_close(file.handle);
  }
  file.is_open = false;
}

int text_get(TextFile& file) {
  unsigned char c = 0;
  return text_read_piece(file, reinterpret_cast<char*>(&c), 1) == 1 ? c : -1;
}

size_t text_read_piece(TextFile& file, char* out, size_t max_size) {
  size_t count = 0;
  while (count < max_size) {
    if (file.start == file.end && !fill(file)) {
      break;
    }
    // Copy plain bytes in bulk, up to the first LF, CR or 0x1A.
    size_t window = file.end - file.start;
    if (window > max_size - count) {
      window = max_size - count;
    }
    if (!file.scanned || file.special < file.start) {
      find_special(file);
    }
    size_t span = file.special - file.start;
    if (span > window) {
      span = window;
    }
    const char* from = file.buffer + file.start;
    const void* lf = memchr(from, '\n', span);
    size_t plain = lf ? static_cast<size_t>(static_cast<const char*>(lf) - from)
                      : span;
    if (out) {
      memcpy(out + count, from, plain);
    }
    count += plain;
    file.start += plain;
    if (plain == window) {
      continue;  // the window held only plain bytes
    }
    char c = file.buffer[file.start];
    if (c == end_of_text) {
      file.at_end = true;
      break;
    }
    if (c == '\r' && cr_before_lf(file)) {
      ++file.start;  // the LF comes next
      c = '\n';
    }
    if (out) {
      out[count] = c;
    }
    ++count;
    ++file.start;
    if (c == '\n') {
      break;
    }
  }
  return count;
}

int64_t text_position(const TextFile& file) {
  return file.buffer_offset + static_cast<int64_t>(file.start);
}

bool text_seek(TextFile& file, int64_t offset) {
  if (offset < 0) {
    return false;
  }
  file.at_end = false;
  file.scanned = false;
  if (offset >= file.buffer_offset &&
      offset <= file.buffer_offset + static_cast<int64_t>(file.end)) {
    file.start = static_cast<size_t>(offset - file.buffer_offset);
    return true;
  }
  file.buffer_offset = offset;
  file.start = 0;
  file.end = 0;
  return true;
}
