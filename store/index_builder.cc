#include "store/index_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/state.h"
#include "store/quote_index.h"

namespace {

// Index bytes are gathered in line_buffer, which the builder has to itself:
// it skips over lines without copying them.
struct IndexWriter {
  int handle = -1;
  size_t pending_size = 0;
};

void flush_entries(IndexWriter& writer) {
  if (!file_write(writer.handle, line_buffer, writer.pending_size)) {
    fail("\nerror writing %s", index_path);
  }
  writer.pending_size = 0;
}

void put_field(IndexWriter& writer, int32_t value) {
  if (writer.pending_size + index_entry_size > line_buffer_size) {
    flush_entries(writer);
  }
  put_le32(reinterpret_cast<unsigned char*>(line_buffer) + writer.pending_size,
           value);
  writer.pending_size += index_entry_size;
}

// "\rline N" for the console, with N kept as text and counted up in place:
// one progress line per quote line must cost little beside the scan.
struct Progress {
  char text[32] = "\rline 0";
  size_t length = 7;
};

void count_up(Progress& progress) {
  size_t i = progress.length;
  while (i > 6 && progress.text[i - 1] == '9') {
    progress.text[--i] = '0';
  }
  if (i > 6) {
    ++progress.text[i - 1];
    return;
  }
  // All nines: one more digit, a leading 1.
  memmove(progress.text + 7, progress.text + 6, progress.length - 6);
  progress.text[6] = '1';
  ++progress.length;
}

}  // namespace

void build_index() {
  printf("\nre-building index file %s\n", index_path);
  int written = snprintf(pending_index_path, sizeof pending_index_path,
                         "%s.%lu.tmp", index_path, process_number());
  if (written < 0 || static_cast<size_t>(written) >= sizeof pending_index_path) {
    pending_index_path[0] = '\0';
    fail("\ncannot open new %s", index_path);
  }
  IndexWriter writer;
  writer.handle = file_create(pending_index_path);
  if (writer.handle < 0) {
    pending_index_path[0] = '\0';
    fail("\ncannot open new %s", index_path);
  }
  // Placeholder count: negative, so an index that somehow kept it would be
  // rebuilt rather than used.
  put_field(writer, -1);
  int32_t text_size = measure_quote_file();
  put_field(writer, text_size);

  // Scan only the bytes that were measured, so that the index describes
  // exactly the file of size text_size even while the file grows.
  text_seek(quote_file, 0);
  quote_file.limited = true;
  quote_file.limit = text_size;
  quote_file.large_reads = true;

  Progress progress;
  int32_t counter = 0;
  for (;;) {
    ++counter;
    if (!page_mode) {
      count_up(progress);
      fwrite(progress.text, 1, progress.length, stdout);
    }
    put_field(writer, static_cast<int32_t>(text_position(quote_file)));
    size_t length = text_read_piece(quote_file, nullptr, line_limit);
    if (length == 0) {
      break;
    }
    if (length == line_limit) {
      fail(" too long in %s (limit %d)", quote_path,
           static_cast<int>(line_buffer_size));
    }
  }
  if (quote_file.failed) {
    fail("\nerror reading %s", quote_path);
  }
  flush_entries(writer);

  unsigned char count[index_entry_size];
  put_le32(count, counter - 1);
  if (!file_write_at(writer.handle, count, sizeof count, 0)) {
    fail("\nerror writing total lines to %s", index_path);
  }
  if (!file_close(writer.handle)) {
    fail("\nerror writing %s", index_path);
  }
  if (!file_rename(pending_index_path, index_path)) {
    fail("\nerror writing %s", index_path);
  }
  pending_index_path[0] = '\0';
  text_close(quote_file);
  fflush(stdout);
  exit(0);
}
