#include "fuzz_support.h"

#include <dirent.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/state.h"
#include "render/segment_writer.h"

extern "C" [[noreturn]] void __real_exit(int status);
extern "C" [[noreturn]] void __wrap_exit(int status);
void __real__Z12emit_segmentbPKcmb(bool, const char*, size_t, bool)
    __asm__("__real__Z12emit_segmentbPKcmb");
void __wrap__Z12emit_segmentbPKcmb(bool, const char*, size_t, bool)
    __asm__("__wrap__Z12emit_segmentbPKcmb");

namespace {

// Static, not local: a longjmp must find them as the program left them.
jmp_buf exit_jump;
bool exit_armed = false;
int exit_status = 0;
// Standard output goes to one memory stream over a static buffer, made once:
// a fresh stream per input would cost more than most inputs.
char captured_bytes[16 << 20];
FILE* capture = nullptr;
bool capturing = false;

size_t captured_size() {
  fflush(capture);
  long size = ftell(capture);
  if (size < 0 || static_cast<size_t>(size) >= sizeof captured_bytes) {
    fprintf(stderr, "output capture overflowed\n");
    abort();
  }
  return static_cast<size_t>(size);
}
std::vector<EmittedSegment> segments;

// Closes descriptors of files in the work directory: a run that ended
// midway leaves its files open (the index being written among them).
void close_work_files() {
  DIR* descriptors = opendir("/proc/self/fd");
  if (!descriptors) {
    return;
  }
  const std::string& directory = work_directory();
  std::vector<int> stale;
  while (dirent* entry = readdir(descriptors)) {
    char link[4096];
    std::string name = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t length = readlink(name.c_str(), link, sizeof link - 1);
    if (length <= 0) {
      continue;
    }
    link[length] = '\0';
    if (std::string(link).compare(0, directory.size(), directory) == 0) {
      stale.push_back(atoi(entry->d_name));
    }
  }
  closedir(descriptors);
  for (int fd : stale) {
    close(fd);
  }
}

// Closes a text file; text_open sets every field again when it next opens.
void clear_text_file(TextFile& file) { text_close(file); }

}  // namespace

extern "C" void __wrap_exit(int status) {
  if (!exit_armed) {
    __real_exit(status);
  }
  exit_armed = false;
  exit_status = status;
  longjmp(exit_jump, 1);
}

void __wrap__Z12emit_segmentbPKcmb(bool right_justified, const char* segment,
                                   size_t length, bool preformatted) {
  if (!capturing) {
    __real__Z12emit_segmentbPKcmb(right_justified, segment, length,
                                  preformatted);
    return;
  }
  size_t before = captured_size();
  __real__Z12emit_segmentbPKcmb(right_justified, segment, length,
                                preformatted);
  size_t after = captured_size();
  EmittedSegment record;
  record.right_justified = right_justified;
  record.text.assign(segment, length);
  record.preformatted = preformatted;
  record.written.assign(captured_bytes + before, after - before);
  segments.push_back(std::move(record));
}

Outcome run_program_code(const std::function<void()>& body) {
  segments.clear();
  Outcome outcome;
  if (!capture) {
    capture = fmemopen(captured_bytes, sizeof captured_bytes, "w");
    if (!capture) {
      abort();
    }
  }
  fseek(capture, 0, SEEK_SET);
  FILE* saved = stdout;
  stdout = capture;
  capturing = true;
  exit_armed = true;
  if (setjmp(exit_jump) == 0) {
    body();
    exit_armed = false;
  } else {
    outcome.ended = true;
    outcome.status = exit_status;
  }
  outcome.output.assign(captured_bytes, captured_size());
  capturing = false;
  stdout = saved;
  return outcome;
}

// Every target works in the scratch directory from its first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  work_directory();
  return 0;
}

const std::vector<EmittedSegment>& emitted_segments() { return segments; }

void reset_program_state() {
  clear_text_file(quote_file);
  clear_text_file(template_file);
  index_handle = -1;
  close_work_files();
  page_mode = false;
  line_end = "\n";
  snprintf(script_address, sizeof script_address, "%s",
           "/cgi-bin/dictorn32.exe");
  memset(line_buffer, 0, sizeof line_buffer);
  request_options = RequestOptions{};
  quote_path[0] = '\0';
  index_path[0] = '\0';
  pending_index_path[0] = '\0';
  random_state = 0;
  quote_count = 0;
  last_quote = 0;
  current_quote = 0;
}

const std::string& work_directory() {
  static std::string directory;
  if (directory.empty()) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") +
                          "/dictorn-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
      perror("mkdtemp");
      abort();
    }
    directory = name.data();
    if (chdir(directory.c_str()) != 0) {
      perror("chdir");
      abort();
    }
  }
  return directory;
}

void write_file(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      fclose(file) != 0) {
    perror(path.c_str());
    abort();
  }
}

std::string read_file(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    return bytes;
  }
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.append(chunk, got);
  }
  fclose(file);
  return bytes;
}

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> other_files(const std::vector<std::string>& known) {
  std::vector<std::string> others;
  DIR* directory = opendir(work_directory().c_str());
  if (!directory) {
    return others;
  }
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    bool listed = false;
    for (const std::string& k : known) {
      listed = listed || k == name;
    }
    if (!listed) {
      others.push_back(name);
    }
  }
  closedir(directory);
  return others;
}

std::string printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c < 0x20 || c >= 0x7F || c == '\\') {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

void property_broken(const char* property, const std::string& detail) {
  fprintf(stderr, "\nproperty broken: %s\n%s\n", property, detail.c_str());
  fflush(stderr);
  abort();
}
