#include "store/quote_index.h"

#include <cstdio>
#include <cstring>

#include "app/state.h"

void put_le32(unsigned char* bytes, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  bytes[0] = static_cast<unsigned char>(bits);
  bytes[1] = static_cast<unsigned char>(bits >> 8);
  bytes[2] = static_cast<unsigned char>(bits >> 16);
  bytes[3] = static_cast<unsigned char>(bits >> 24);
}

int32_t get_le32(const unsigned char* bytes) {
  uint32_t bits = static_cast<uint32_t>(bytes[0]) |
                  static_cast<uint32_t>(bytes[1]) << 8 |
                  static_cast<uint32_t>(bytes[2]) << 16 |
                  static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(bits);
}

bool index_path_for(const char* quote, char (&index)[path_size]) {
  size_t length = strlen(quote);
  size_t stem = length;
  // Only a dot in the file name itself starts the extension.
  for (size_t i = length; i > 0; --i) {
    char c = quote[i - 1];
    if (c == '/' || c == '\\') {
      break;
    }
    if (c == '.') {
      stem = i - 1;
      break;
    }
  }
  // Copied, not formatted: every run derives this path.
  constexpr char extension[] = ".ndx";
  if (stem + sizeof extension > static_cast<size_t>(path_size)) {
    return false;
  }
  memcpy(index, quote, stem);
  memcpy(index + stem, extension, sizeof extension);
  return true;
}

void locate_quote_file() {
  SearchResult result = search_file(quote_file_name, quote_path);
  if (result == SearchResult::too_long) {
    fail("\npath too long for %s", quote_file_name);
  }
  if (result == SearchResult::not_found) {
    fail("\ncannot find DICTORN.TXT");
  }
  if (!text_open(quote_file, quote_path)) {
    fail("\ncannot open %s", quote_path);
  }
  if (!index_path_for(quote_path, index_path)) {
    fail("\npath too long for %s", quote_file_name);
  }
}

int32_t measure_quote_file() {
  int64_t size = file_size(quote_file.handle);
  if (size < 0) {
    fail("\nerror reading %s", quote_path);
  }
  if (size > quote_file_size_limit) {
    fail("\n%s is too large (limit 2147483647 bytes)", quote_path);
  }
  return static_cast<int32_t>(size);
}

bool open_index() {
  index_handle = file_open_read(index_path);
  if (index_handle < 0) {
    return false;
  }
  unsigned char header[index_header_size];
  int64_t got = file_read_at(index_handle, header, sizeof header, 0);
  if (got < static_cast<int64_t>(sizeof header)) {
    fail("\nerror reading %s", index_path);
  }
  QuoteIndex index;
  index.quote_count = get_le32(header);
  index.text_size = get_le32(header + 4);
  // A negative count cannot describe a file: treat it as no index at all.
  if (index.quote_count < 0) {
    file_close(index_handle);
    index_handle = -1;
    return false;
  }
  if (measure_quote_file() != index.text_size) {
    fputs("\ntext file size difference\n", stdout);
    file_close(index_handle);
    index_handle = -1;
    return false;
  }
  quote_count = index.quote_count;
  last_quote = quote_count - 1;
  return true;
}

void read_line_offset(int32_t k) {
  unsigned char entry[index_entry_size];
  int64_t at = static_cast<int64_t>(index_header_size) +
               static_cast<int64_t>(index_entry_size) * k;
  if (at < 0) {
    fail("\nerror seeking %s", index_path);
  }
  if (file_read_at(index_handle, entry, sizeof entry, at) <
      static_cast<int64_t>(sizeof entry)) {
    fail("\nerror reading %s", index_path);
  }
  if (!text_seek(quote_file, get_le32(entry))) {
    fail("\nerror seeking %s", quote_path);
  }
}
