#pragma once
// The thin layer over the operating system: file search, clocks, raw file
// access, and the text reader that gives every platform the same view of a
// text file. Nothing here ends the run; callers report failures.

#include <cstddef>
#include <cstdint>

// 260: the platform's path limit, terminator included.
constexpr int path_size = 260;

// Read size for a text file's buffer: large enough that an index rebuild
// makes few system calls, and held in static storage, never on the stack.
constexpr size_t text_buffer_size = 128 * 1024;

// Reads made to reach one quote line: most lines fit in one. 4096 is also a
// memory page: such a read ends at a page boundary of the buffer.
constexpr size_t text_small_read_size = 4096;

enum class SearchResult { found, not_found, too_long };

// Ignores SIGPIPE and remembers argv[0] for the file search. Call first.
void platform_start(const char* argv0);

// Finds a bare file name: the executable's directory, the current directory,
// then PATH. Writes directory + separator + name into `path` when found.
SearchResult search_file(const char* name, char (&path)[path_size]);

// Milliseconds from a monotonic clock, truncated to 32 bits.
uint32_t tick_milliseconds();

// Seconds since 1970-01-01 00:00 UTC.
int64_t calendar_seconds();

// Identifies this process, for names of files that must not collide.
unsigned long process_number();

// Raw files, binary. Handles are -1 when not open. No call ends the run.
int file_open_read(const char* path);
int file_create(const char* path);  // truncates; fails if it exists as a dir
int64_t file_read_at(int handle, void* data, size_t size, int64_t offset);
bool file_write(int handle, const void* data, size_t size);
bool file_write_at(int handle, const void* data, size_t size, int64_t offset);
int64_t file_size(int handle);  // bytes as stored, or -1
bool file_close(int handle);    // false when buffered data could not be stored
bool file_rename(const char* from, const char* to);  // replaces `to`
void file_remove(const char* path);

// A text file as the program reads it on every platform: a CR directly
// before a LF is dropped, and a byte 0x1A ends reading as the end of the file
// does until the file is repositioned. Positions are byte offsets in the file
// as stored. Reading also stops at `limit`.
// Every field starts at zero, so a record in static storage costs nothing to
// set up and its buffer stays in untouched memory.
struct TextFile {
  bool is_open = false;
  int handle = 0;
  int64_t buffer_offset = 0;  // file offset of buffer[0]
  size_t start = 0;           // next unread byte in buffer
  size_t end = 0;             // end of valid bytes in buffer
  bool limited = false;       // reading ends at `limit` as at the end of file
  int64_t limit = 0;
  bool large_reads = false;   // fill the whole buffer per read (scans)
  bool at_end = false;        // end of file, limit or 0x1A reached
  bool failed = false;        // a read reported an error
  bool scanned = false;       // `special` is known for the bytes from start
  size_t special = 0;         // first CR or 0x1A from start, or end if none
  char buffer[text_buffer_size];
};

// Opens `path` for reading at offset 0. False when it cannot be opened.
bool text_open(TextFile& file, const char* path);
void text_close(TextFile& file);

// One character as read, or -1 at the end (see `failed` for errors).
int text_get(TextFile& file);

// Reads up to and including a line feed, at most `max_size` characters, into
// `out` (not terminated); with `out` null the characters are skipped. Returns
// how many characters the piece holds; 0 at the end.
size_t text_read_piece(TextFile& file, char* out, size_t max_size);

// Offset in the stored file of the next byte to be read.
int64_t text_position(const TextFile& file);

// Repositions to `offset`; false for a negative offset. Clears the end state.
bool text_seek(TextFile& file, int64_t offset);
