#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "app/state.h"
#include "store/quote_index.h"

namespace test {
namespace {

namespace fs = std::filesystem;

// A run that takes longer than this is hung.
constexpr unsigned run_time_limit_seconds = 60;

std::string temp_root() {
  const char* root = getenv("TMPDIR");
  return root && root[0] ? root : "/tmp";
}

// An unnamed file in the temporary directory: the descriptor stays valid
// after the name is gone.
int anonymous_file() {
  std::string name = temp_root() + "/dictorn-out-XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) {
    ADD_FAILURE() << "mkstemp: " << strerror(errno);
    return -1;
  }
  unlink(name.c_str());
  return fd;
}

// Everything in a file from its start, or what is left in a pipe.
std::string read_all(int fd) {
  std::string bytes;
  char chunk[65536];
  lseek(fd, 0, SEEK_SET);  // fails on a pipe, which is read from where it is
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    bytes.append(chunk, static_cast<size_t>(got));
  }
  return bytes;
}

RunResult wait_for(pid_t child, int output_fd) {
  RunResult result;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  if (output_fd >= 0) {
    result.output = read_all(output_fd);
    close(output_fd);
  }
  return result;
}

std::vector<std::string> split_words(const char* text) {
  std::vector<std::string> words;
  if (!text) {
    return words;
  }
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    words.push_back(word);
  }
  return words;
}

// A launcher named without a directory is looked up in the test's PATH,
// since the program's own environment may hold none.
std::string find_executable(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return name;
  }
  const char* search = getenv("PATH");
  std::string path_list = search ? search : "";
  size_t start = 0;
  for (;;) {
    size_t colon = path_list.find(':', start);
    std::string directory = path_list.substr(
        start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string::npos) {
      return name;
    }
    start = colon + 1;
  }
}

std::string program_binary() {
  const char* chosen = getenv("DICTORN_TEST_BINARY");
  return chosen && chosen[0] ? chosen : DICTORN_BINARY;
}

bool setting_on(const char* name) {
  const char* value = getenv(name);
  return value && strcmp(value, "1") == 0;
}

}  // namespace

TempDir::TempDir() {
  std::string name = temp_root() + "/dictorn-test-XXXXXX";
  if (!mkdtemp(name.data())) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  path_ = fs::canonical(name).string();
}

TempDir::~TempDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
}

std::string TempDir::file(const std::string& name) const {
  return path_ + "/" + name;
}

void write_file(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path << ": " << strerror(errno);
  size_t put = fwrite(bytes.data(), 1, bytes.size(), file);
  bool closed = fclose(file) == 0;
  ASSERT_EQ(put, bytes.size()) << path;
  ASSERT_TRUE(closed) << path;
}

std::string read_file(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    ADD_FAILURE() << path << ": " << strerror(errno);
    return "";
  }
  std::string bytes = read_all(fd);
  close(fd);
  return bytes;
}

bool path_exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

void make_directory(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  ASSERT_FALSE(error) << path << ": " << error.message();
}

std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void make_files(const std::string& root,
                const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, bytes] : files) {
    std::string path = root + "/" + name;
    if (name.back() == '/') {
      make_directory(path);
      continue;
    }
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
      make_directory(root + "/" + name.substr(0, slash));
    }
    write_file(path, bytes);
  }
}

std::string make_deep_directory(const std::string& base, size_t length) {
  std::string directory = base;
  EXPECT_LT(base.size() + 1, length);
  while (directory.size() < length) {
    size_t left = length - directory.size();  // the slash included
    size_t part = left - 1;
    if (part > 100) {
      // Never leave a lone slash for the last component.
      part = left - 101 == 1 ? 99 : 100;
    }
    directory += "/" + std::string(part, 'q');
  }
  make_directory(directory);
  return directory;
}

void make_sparse_file(const std::string& path, int64_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  int truncated = ftruncate(fd, static_cast<off_t>(size));
  close(fd);
  ASSERT_EQ(truncated, 0) << path << ": " << strerror(errno);
}

std::string index_bytes(const std::vector<int32_t>& fields) {
  std::string bytes;
  for (int32_t field : fields) {
    uint32_t bits = static_cast<uint32_t>(field);
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
  }
  return bytes;
}

std::string capture_stdout(const std::function<void()>& body) {
  fflush(stdout);
  int output = anonymous_file();
  int saved = dup(1);
  if (output < 0 || saved < 0) {
    ADD_FAILURE() << "cannot redirect standard output";
    return "";
  }
  dup2(output, 1);
  body();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string bytes = read_all(output);
  close(output);
  return bytes;
}

RunResult run_in_child(const std::function<void()>& body) {
  fflush(stdout);
  fflush(stderr);
  int output = anonymous_file();
  if (output < 0) {
    return RunResult{};
  }
  pid_t child = fork();
  if (child < 0) {
    ADD_FAILURE() << "fork: " << strerror(errno);
    close(output);
    return RunResult{};
  }
  if (child == 0) {
    dup2(output, 1);
    close(output);
    alarm(run_time_limit_seconds);
    body();
    fflush(stdout);
    _exit(returned_status);
  }
  return wait_for(child, output);
}

void reset_program_state() {
  fflush(stdout);
  page_mode = false;
  line_end = "\n";
  snprintf(script_address, sizeof script_address, "%s",
           "/cgi-bin/dictorn32.exe");
  memset(line_buffer, 0, sizeof line_buffer);
  request_options = RequestOptions{};
  memset(quote_path, 0, sizeof quote_path);
  memset(index_path, 0, sizeof index_path);
  text_close(quote_file);
  text_close(template_file);
  if (index_handle >= 0) {
    file_close(index_handle);
  }
  index_handle = -1;
  memset(pending_index_path, 0, sizeof pending_index_path);
  random_state = 0;
  quote_count = 0;
  last_quote = 0;
  current_quote = 0;
}

void use_quote_file(const TempDir& dir, const std::string& bytes) {
  std::string path = dir.file("dictorn.txt");
  write_file(path, bytes);
  ASSERT_LT(path.size(), sizeof quote_path);
  snprintf(quote_path, sizeof quote_path, "%s", path.c_str());
  ASSERT_TRUE(index_path_for(quote_path, index_path));
  ASSERT_TRUE(text_open(quote_file, quote_path));
}

std::string shown_path(const std::string& path) {
  if (!setting_on("DICTORN_TEST_WINE_PATHS")) {
    return path;
  }
  std::string shown = "Z:" + path;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return shown;
}

std::string expected(const std::string& bytes) {
  if (!setting_on("DICTORN_TEST_CRLF")) {
    return bytes;
  }
  std::string translated;
  for (char c : bytes) {
    if (c == '\n') {
      translated.push_back('\r');
    }
    translated.push_back(c);
  }
  return translated;
}

std::string progress_text(int passes) {
  std::string text;
  for (int i = 1; i <= passes; ++i) {
    text += "\rline " + std::to_string(i);
  }
  return text;
}

std::string usage_text() {
  return "\nDICTORN32, k.w.p.'s signature generator tool\n"
         "\nUsage: dictorn [n]\n\t\twhere n is optional dictorn number"
         "\n\treads dictorns from DICTORN.TXT, one per line"
         "\n\tgenerates DICTORN.NDX"
         "\n\tsequence <space>`<space> changes justification to right"
         "\n\t\tand prints hyphen for authorship"
         "\n\tif line begins with ` it is preformated"
         "\n\t^ translates to CRLF (unless preceded by `)";
}

std::string install_program(const std::string& dir) {
  std::string source = program_binary();
  std::string target = dir + "/" + fs::path(source).filename().string();
  if (!path_exists(target)) {
    std::error_code error;
    fs::copy_file(source, target, error);
    if (error) {
      ADD_FAILURE() << "copy " << source << ": " << error.message();
    }
    chmod(target.c_str(), 0755);
  }
  return target;
}

RunResult run_program(const std::string& dir,
                      const std::vector<std::string>& args,
                      const std::vector<std::string>& env) {
  ProgramRun run;
  run.program_dir = dir;
  run.args = args;
  run.env = env;
  return run_program(run);
}

namespace {

// What one run of the program executes, and where.
struct Command {
  std::vector<std::string> words;        // the launcher's, then the program's
  std::vector<std::string> environment;  // exactly the program's
  std::string work_dir;
};

Command command_for(const ProgramRun& run) {
  Command command;
  command.words = split_words(getenv("DICTORN_TEST_LAUNCHER"));
  if (!command.words.empty()) {
    command.words[0] = find_executable(command.words[0]);
  }
  command.words.push_back(install_program(run.program_dir));
  command.words.insert(command.words.end(), run.args.begin(), run.args.end());

  command.environment = run.env;
  for (const std::string& name :
       split_words(getenv("DICTORN_TEST_PASS_ENV"))) {
    const char* value = getenv(name.c_str());
    bool set_by_test = std::any_of(
        command.environment.begin(), command.environment.end(),
        [&](const std::string& e) {
          return e.compare(0, name.size() + 1, name + "=") == 0;
        });
    if (value && !set_by_test) {
      command.environment.push_back(name + "=" + value);
    }
  }
  command.work_dir = run.work_dir.empty() ? run.program_dir : run.work_dir;
  return command;
}

// Starts `command` in a child with `output` as its standard output and
// /dev/null as its input; `unused` (unless -1) is closed in the child.
// Returns the child's pid, or -1.
pid_t spawn(Command& command, const std::function<bool()>& prepare,
            int output, int unused) {
  // Everything the child needs is made before the fork: a test may run
  // threads, and the child must not allocate.
  std::vector<char*> argv;
  for (std::string& word : command.words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : command.environment) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  fflush(stdout);
  fflush(stderr);
  pid_t child = fork();
  if (child < 0) {
    ADD_FAILURE() << "fork: " << strerror(errno);
    return -1;
  }
  if (child == 0) {
    int input = open("/dev/null", O_RDONLY);
    dup2(input, 0);
    dup2(output, 1);
    for (int fd : {input, output, unused}) {
      if (fd > 2) {
        close(fd);
      }
    }
    // The program must not depend on what the test process ignores.
    signal(SIGPIPE, SIG_DFL);
    if ((prepare && !prepare()) || chdir(command.work_dir.c_str()) != 0) {
      _exit(126);
    }
    alarm(run_time_limit_seconds);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return child;
}

}  // namespace

RunResult run_program(const ProgramRun& run) {
  Command command = command_for(run);
  int output = -1;
  if (run.close_stdout) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
      ADD_FAILURE() << "pipe: " << strerror(errno);
      return RunResult{};
    }
    close(pipe_ends[0]);  // the reader is gone before the program writes
    output = pipe_ends[1];
  } else {
    output = anonymous_file();
    if (output < 0) {
      return RunResult{};
    }
  }
  pid_t child = spawn(command, run.prepare, output, -1);
  if (run.close_stdout || child < 0) {
    close(output);
    output = -1;
  }
  if (child < 0) {
    return RunResult{};
  }
  RunResult result = wait_for(child, output);
  EXPECT_NE(result.status, 127) << "cannot start " << command.words[0];
  EXPECT_NE(result.status, 126) << "cannot enter " << command.work_dir;
  return result;
}

StartedRun start_program(const ProgramRun& run) {
  Command command = command_for(run);
  StartedRun started;
  int ends[2];
  if (pipe(ends) != 0) {
    ADD_FAILURE() << "pipe: " << strerror(errno);
    return started;
  }
  started.pid = spawn(command, run.prepare, ends[1], ends[0]);
  close(ends[1]);
  if (started.pid < 0) {
    close(ends[0]);
  } else {
    started.output = ends[0];
  }
  return started;
}

RunResult finish_program(StartedRun& run) {
  if (run.pid < 0) {
    return RunResult{};
  }
  std::string bytes = read_all(run.output);
  close(run.output);
  run.output = -1;
  RunResult result = wait_for(run.pid, -1);
  result.output = bytes;
  return result;
}

}  // namespace test
