// Many runs at once over one quote file while another process keeps
// appending quotes to it, so that runs find the index stale and rebuild it
// concurrently: on the console, and through lighttpd as a web server runs
// the program.
//
// Every run must end in one of two ways: a rebuild (status 0, the size
// message, the rebuild message and its progress text, nothing else), or the
// exact output of a quote the file held (status 1). There is no other
// documented outcome for these runs: the index at the index path is always
// complete, so no read or seek message may appear. At the end the index is
// byte-identical to one built from scratch.
//
// Each append is a single write that never crosses a 4096-byte page of the
// file, so a run that measures the file sees whole lines only; the file is
// always a prefix of its final content.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// scripts/test-windows.sh runs the end-to-end suites against the Windows
// program under Wine, whose start-up cost makes hundreds of runs too slow
// and whose file replacement is Wine's, not Windows': these tests are for
// the POSIX program.
bool windows_program() { return test::shown_path("/") != "/"; }
constexpr char posix_only[] =
    "concurrent runs of the POSIX program; not run under Wine";

constexpr int worker_count = 8;
constexpr int console_runs_per_worker = 40;
constexpr int web_requests_per_worker = 25;
constexpr int initial_quotes = 40;
// Runs stop starting after this; the test still checks every run it made.
constexpr auto time_limit = std::chrono::seconds(120);
constexpr size_t page_size = 4096;

// Quote k: short, distinct, without markup or hyphens, so each is shown as
// one segment in either mode.
std::string quote_text(int k) {
  return "Quote " + std::to_string(k) + " says " +
         std::string(static_cast<size_t>(k % 23), 'o') + "k.";
}

// The line appended as quote k to a file of `size` bytes: the quote, or,
// when it would cross a page boundary, a filler line that ends exactly at
// the boundary (the quote follows with the next append).
std::string next_line(int k, size_t size, bool& was_quote) {
  std::string line = quote_text(k) + "\n";
  size_t room = page_size - size % page_size;
  was_quote = line.size() <= room;
  return was_quote ? line : std::string(room - 1, '~') + "\n";
}

std::string initial_file() {
  std::string bytes;
  for (int k = 0; k < initial_quotes; ++k) {
    bool was_quote = false;
    std::string line = next_line(k, bytes.size(), was_quote);
    bytes += line;
    if (!was_quote) {
      bytes += quote_text(k) + "\n";
    }
  }
  return bytes;
}

// The appending process: it appends one quote for each byte it reads from
// its pipe, while the runs go on, and ends when the pipe is closed. Tying
// the appends to the number of runs keeps the mix of rebuilds and shown
// quotes the same on a fast machine and under the sanitizers.
struct Appender {
  pid_t pid = -1;
  int pipe_to = -1;
  std::atomic<int> runs{0};
};

void start_appender(const std::string& path, Appender& appender) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fflush(stdout);
  fflush(stderr);
  appender.pid = fork();
  ASSERT_GE(appender.pid, 0);
  if (appender.pid != 0) {
    close(ends[0]);
    appender.pipe_to = ends[1];
    return;
  }
  close(ends[1]);
  int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0) {
    _exit(2);
  }
  off_t size = lseek(fd, 0, SEEK_END);
  char signal_byte;
  for (int k = initial_quotes; read(ends[0], &signal_byte, 1) == 1;) {
    for (bool was_quote = false; !was_quote;) {
      std::string line = next_line(k, static_cast<size_t>(size), was_quote);
      if (write(fd, line.data(), line.size()) !=
          static_cast<ssize_t>(line.size())) {
        _exit(3);
      }
      size += static_cast<off_t>(line.size());
    }
    ++k;
  }
  _exit(0);
}

// Called after each run: every fourth run asks for one more quote.
void count_run(Appender& appender) {
  if (appender.runs.fetch_add(1) % 4 == 0) {
    char signal_byte = 1;
    EXPECT_EQ(write(appender.pipe_to, &signal_byte, 1), 1);
  }
}

void stop(Appender& appender) {
  close(appender.pipe_to);
  int status = 0;
  waitpid(appender.pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the appender failed";
}

std::vector<std::string> lines_of(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t feed; (feed = bytes.find('\n', start)) != std::string::npos;
       start = feed + 1) {
    lines.push_back(bytes.substr(start, feed - start));
  }
  EXPECT_EQ(start, bytes.size()) << "the quote file ends inside a line";
  return lines;
}

// The quote file once the appender has stopped: its bytes and lines, and
// how many lines it had at the start and has at the end.
struct GrownFile {
  std::string quotes;
  std::vector<std::string> lines;
  int first_count;
  int last_count;
};

GrownFile stop_growing(Appender& appender, const std::string& quote_path) {
  stop(appender);
  GrownFile file;
  file.quotes = test::read_file(quote_path);
  file.lines = lines_of(file.quotes);
  file.first_count = static_cast<int>(lines_of(initial_file()).size());
  file.last_count = static_cast<int>(file.lines.size());
  return file;
}

// What the runs of one test found.
struct Tally {
  int quotes = 0;
  int rebuilds = 0;
  std::set<std::string> rebuilt_outputs;  // on the console: one per size
  std::vector<std::string> failures;

  void add(bool rebuilt, bool shown, const std::string& output,
           const std::string& what) {
    if (rebuilt) {
      ++rebuilds;
      rebuilt_outputs.insert(output);
    } else if (shown) {
      ++quotes;
    } else {
      failures.push_back(what);
    }
  }
};

// Prints the figures and checks that no run failed and that both outcomes
// occurred often enough to mean something.
void report(const char* kind, const char* runs, const Tally& tally,
            int first_count, int last_count, int minimum) {
  int total = tally.quotes + tally.rebuilds +
              static_cast<int>(tally.failures.size());
  printf("%s: %d %s by %d workers while the file grew from %d to %d lines: "
         "%d quotes, %d rebuilds, %zu failures\n",
         kind, total, runs, worker_count, first_count, last_count,
         tally.quotes, tally.rebuilds, tally.failures.size());
  if (tally.rebuilt_outputs.size() > 1) {
    printf("%s: %zu rebuilds raced another rebuild of the same file size\n",
           kind, static_cast<size_t>(tally.rebuilds) -
                     tally.rebuilt_outputs.size());
  }
  EXPECT_TRUE(tally.failures.empty())
      << tally.failures.size() << " " << runs
      << " failed; the first: " << tally.failures[0];
  EXPECT_GE(total, minimum) << "too few " << runs << " in the time limit";
  EXPECT_GT(tally.rebuilds, 0);
  EXPECT_GT(tally.quotes, 0);
}

// Runs `body(worker, i)` for i in 0 .. per_worker - 1 on each worker, all
// workers at once, until the time limit.
template <typename Body>
void run_workers(int per_worker, Body body) {
  Clock::time_point deadline = Clock::now() + time_limit;
  std::vector<std::thread> workers;
  for (int w = 0; w < worker_count; ++w) {
    workers.emplace_back([w, per_worker, deadline, &body] {
      for (int i = 0; i < per_worker && Clock::now() < deadline; ++i) {
        body(w, i);
      }
    });
  }
  for (std::thread& worker : workers) {
    worker.join();
  }
}

// The quote number a worker asks for on its i-th run.
int asked_number(int worker, int i) { return (worker * 131 + i * 17) % 997; }

// A rebuild's output after the leading part: the size message, the rebuild
// message, and in console mode the progress of a file of count lines, for a
// count the file had.
bool is_rebuild(const std::string& output, const std::string& index,
                bool console, int first_count, int last_count) {
  std::string head = "\ntext file size difference\n\nre-building index file " +
                     index + "\n";
  if (output.compare(0, head.size(), head) != 0) {
    return false;
  }
  std::string rest = output.substr(head.size());
  if (!console) {
    return rest.empty();
  }
  size_t last = rest.rfind("\rline ");
  if (last == std::string::npos) {
    return false;
  }
  int passes = atoi(rest.c_str() + last + 6);
  return passes >= first_count + 1 && passes <= last_count + 1 &&
         rest == test::progress_text(passes);
}

void check_index_is_fresh(const std::string& dir, const std::string& quotes) {
  std::string index = test::read_file(dir + "/dictorn.ndx");
  test::TempDir fresh;
  test::write_file(fresh.file("dictorn.txt"), quotes);
  test::RunResult built = test::run_program(fresh.path(), {});
  EXPECT_EQ(built.status, 0) << built.output;
  EXPECT_TRUE(test::read_file(fresh.file("dictorn.ndx")) == index)
      << "the index left by the concurrent runs differs from a fresh one";
}

TEST(Concurrency, ConsoleRunsWhileTheFileGrows) {
  if (windows_program()) {
    GTEST_SKIP() << posix_only;
  }
  test::TempDir dir;
  std::string quote_path = dir.file("dictorn.txt");
  std::string index = dir.file("dictorn.ndx");
  test::write_file(quote_path, initial_file());
  test::install_program(dir.path());
  test::RunResult first = test::run_program(dir.path(), {});
  ASSERT_EQ(first.status, 0) << first.output;

  Appender appender;
  start_appender(quote_path, appender);
  struct Run {
    int asked;
    test::RunResult result;
  };
  std::vector<std::vector<Run>> runs(worker_count);
  run_workers(console_runs_per_worker, [&](int w, int i) {
    int asked = asked_number(w, i);
    runs[static_cast<size_t>(w)].push_back(
        {asked, test::run_program(dir.path(), {std::to_string(asked)})});
    count_run(appender);
  });
  const auto [final_quotes, lines, first_count, last_count] =
      stop_growing(appender, quote_path);
  Tally tally;
  for (const std::vector<Run>& worker_runs : runs) {
    for (const Run& run : worker_runs) {
      const std::string& out = run.result.output;
      bool rebuilt = run.result.status == 0 && out.compare(0, 1, "\n") == 0 &&
                     is_rebuild(out.substr(1), index, true, first_count,
                                last_count);
      bool shown = false;
      for (int count = first_count; run.result.status == 1 && !shown &&
                                    count <= last_count;
           ++count) {
        const std::string& line =
            lines[static_cast<size_t>(run.asked % count)];
        shown = out == "\n  " + line + "\n\n";
      }
      tally.add(rebuilt, shown, out,
                "asked " + std::to_string(run.asked) + ", status " +
                    std::to_string(run.result.status) + ", signal " +
                    std::to_string(run.result.signal) + ": " + out);
    }
  }
  // Once the file stops growing, one run brings the index up to date and
  // the next shows a quote.
  test::RunResult settle = test::run_program(dir.path(), {"0"});
  if (settle.status == 0) {
    settle = test::run_program(dir.path(), {"0"});
  }
  EXPECT_EQ(settle.output, "\n  " + lines[0] + "\n\n");
  check_index_is_fresh(dir.path(), final_quotes);
  EXPECT_EQ(test::list_directory(dir.path()),
            (std::vector<std::string>{"dictorn", "dictorn.ndx",
                                      "dictorn.txt"}))
      << "a run left a file behind";

  report("console", "runs", tally, first_count, last_count, 100);
}

// ---- through lighttpd ----

// A lighttpd of this test's own on 127.0.0.1, stopped by its pid.
struct Server {
  pid_t pid = -1;
  int port = 0;
  ~Server() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

int free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

int connect_to(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

const char* lighttpd_binary() {
  const char* chosen = getenv("LIGHTTPD");
  return chosen && chosen[0] ? chosen : "/usr/sbin/lighttpd";
}

// lighttpd hands a CGI program none of its own environment: the sanitizer
// options of a sanitizer build are added to the CGI environment.
std::string sanitizer_environment() {
  std::string settings;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    const char* value = getenv(name);
    if (value && value[0]) {
      settings += std::string(settings.empty() ? "" : ", ") + "\"" + name +
                  "\" => \"" + value + "\"";
    }
  }
  return settings.empty() ? ""
                          : "server.modules += ( \"mod_setenv\" )\n"
                            "setenv.add-environment = ( " +
                                settings + " )\n";
}

// Serves root/htdocs, running everything under /cgi-bin/ as CGI programs.
bool start_server(const std::string& root, Server& server) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    server.port = free_port();
    std::string config = root + "/lighttpd.conf";
    test::write_file(
        config, "server.document-root = \"" + root + "/htdocs\"\n" +
                    "server.bind = \"127.0.0.1\"\n" +
                    "server.port = " + std::to_string(server.port) + "\n" +
                    "server.errorlog = \"" + root + "/error.log\"\n" +
                    "server.max-connections = 64\n" +
                    "server.modules += ( \"mod_cgi\" )\n" +
                    "$HTTP[\"url\"] =~ \"^/cgi-bin/\" {\n" +
                    "  cgi.assign = ( \"\" => \"\" )\n}\n" +
                    sanitizer_environment());
    fflush(stdout);
    fflush(stderr);
    server.pid = fork();
    if (server.pid == 0) {
      int log = open((root + "/lighttpd.out").c_str(),
                     O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(log, 1);
      dup2(log, 2);
      execl(lighttpd_binary(), "lighttpd", "-D", "-f", config.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int wait = 0; wait < 200; ++wait) {
      int fd = connect_to(server.port);
      if (fd >= 0) {
        close(fd);
        return true;
      }
      if (waitpid(server.pid, nullptr, WNOHANG) == server.pid) {
        break;  // the port was taken in between: try another
      }
      usleep(50000);
    }
    kill(server.pid, SIGKILL);
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
  }
  return false;
}

struct Response {
  std::string head;
  std::string body;
  bool complete = false;
};

Response get(int port, const std::string& target) {
  Response response;
  int fd = connect_to(port);
  if (fd < 0) {
    return response;
  }
  timeval limit = {30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string request =
      "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (write(fd, request.data(), request.size()) !=
      static_cast<ssize_t>(request.size())) {
    close(fd);
    return response;
  }
  std::string all;
  char chunk[16384];
  ssize_t got = 0;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) {
    all.append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  size_t split = all.find("\r\n\r\n");
  if (got == 0 && split != std::string::npos) {
    response.head = all.substr(0, split);
    response.body = all.substr(split + 4);
    response.complete = true;
  }
  return response;
}

const char built_in_head[] =
    "<HTML><HEAD>\n<TITLE>DICTORN32 V2.0.00</TITLE>\n</HEAD><body>"
    "<h1>DICTORN32 V2.0.00</h1><br>\n";

std::string form(int value, const char* label) {
  return "<FORM style=\"text-align: center\" action=\"/cgi-bin/dictorn32.exe\">"
         "<input type=\"hidden\" name=\"next\" value=\"" +
         std::to_string(value) + "\"><INPUT TYPE=\"submit\" VALUE=\"" + label +
         "\"></FORM>\n";
}

// The page of quote `shown` in a file of `count` quotes.
std::string page_body(const std::string& line, int shown, int count,
                      int another) {
  int previous = shown == 0 ? count - 1 : shown - 1;
  int next = shown == count - 1 ? 0 : shown + 1;
  return std::string(built_in_head) + "\n" +
         "<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
         "<div align=\"left\">\n  " +
         line + "\n<br>\n</div></font><br><br>\n" +
         form(another, "Another Quote...") +
         "<table width=\"100%\" CELLPADDING=\"15\" CELLSPACING=\"0\"><tr><td "
         "align=\"right\" width=\"50%\">" +
         form(previous, "<< Previous") +
         "</td><td align=\"left\" width=\"50%\">" + form(next, "Next >>") +
         "</td></tr></table><a href=\"/cgi-bin/dictorn32.exe?next=" +
         std::to_string(next) +
         "\"><font color=\"ffffff\">.</font></a>\n</body>";
}

TEST(Concurrency, WebRequestsWhileTheFileGrows) {
  if (windows_program()) {
    GTEST_SKIP() << posix_only;
  }
  if (access(lighttpd_binary(), X_OK) != 0) {
    GTEST_FAIL() << "lighttpd is not installed (scripts/deps.sh test)";
  }
  test::TempDir root;
  std::string cgi_bin = root.file("htdocs/cgi-bin");
  test::make_directory(cgi_bin);
  std::string program = test::install_program(cgi_bin);
  ASSERT_EQ(rename(program.c_str(), (cgi_bin + "/dictorn32.exe").c_str()), 0);
  // The configuration file turns on page mode; its content does not matter.
  test::write_file(cgi_bin + "/dictorn32.conf", "# page mode\n");
  std::string quote_path = cgi_bin + "/dictorn.txt";
  std::string index = cgi_bin + "/dictorn.ndx";
  test::write_file(quote_path, initial_file());

  Server server;
  ASSERT_TRUE(start_server(root.path(), server))
      << test::read_file(root.file("lighttpd.out"))
      << test::read_file(root.file("error.log"));
  Response first = get(server.port, "/cgi-bin/dictorn32.exe");
  ASSERT_TRUE(first.complete);
  ASSERT_EQ(first.body, std::string(built_in_head) + "\n\nre-building index file " +
                            index + "\n");

  Appender appender;
  start_appender(quote_path, appender);
  struct Request {
    int asked;
    Response response;
  };
  std::vector<std::vector<Request>> requests(worker_count);
  run_workers(web_requests_per_worker, [&](int w, int i) {
    int asked = asked_number(w, i) % 150;
    requests[static_cast<size_t>(w)].push_back(
        {asked, get(server.port,
                    "/cgi-bin/dictorn32.exe?next=" + std::to_string(asked))});
    count_run(appender);
  });
  const auto [final_quotes, lines, first_count, last_count] =
      stop_growing(appender, quote_path);
  const std::regex another_form("name=\"next\" value=\"([0-9]+)\"><INPUT "
                                "TYPE=\"submit\" VALUE=\"Another Quote");
  Tally tally;
  for (const std::vector<Request>& worker_requests : requests) {
    for (const Request& request : worker_requests) {
      const Response& r = request.response;
      std::string lower_head = r.head;
      for (char& c : lower_head) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      }
      bool ok = r.complete && r.head.compare(0, 12, "HTTP/1.0 200") == 0 &&
                lower_head.find("\r\ncontent-type: text/html") !=
                    std::string::npos;
      std::string head = std::string(built_in_head) + "\n";
      bool rebuilt = ok && r.body.compare(0, head.size(), head) == 0 &&
                     is_rebuild(r.body.substr(head.size()), index, false,
                                first_count, last_count);
      bool shown = false;
      std::smatch another;
      if (ok && !rebuilt && std::regex_search(r.body, another, another_form)) {
        int another_number = std::stoi(another[1]);
        for (int count = first_count; !shown && count <= last_count; ++count) {
          int k = request.asked < count ? request.asked : count - 1;
          shown = another_number < count &&
                  r.body == page_body(lines[static_cast<size_t>(k)], k, count,
                                      another_number);
        }
      }
      tally.add(rebuilt, shown, r.body,
                "next=" + std::to_string(request.asked) + ": " + r.head +
                    "\r\n\r\n" + r.body);
    }
  }

  Response settle = get(server.port, "/cgi-bin/dictorn32.exe?next=0");
  if (settle.body.find("re-building") != std::string::npos) {
    settle = get(server.port, "/cgi-bin/dictorn32.exe?next=0");
  }
  EXPECT_NE(settle.body.find("<div align=\"left\">\n  " + lines[0] + "\n"),
            std::string::npos)
      << settle.body;
  check_index_is_fresh(cgi_bin, final_quotes);
  EXPECT_EQ(test::list_directory(cgi_bin),
            (std::vector<std::string>{"dictorn.ndx", "dictorn.txt",
                                      "dictorn32.conf", "dictorn32.exe"}))
      << "a run left a file behind";

  report("web", "requests", tally, first_count, last_count, 50);
}

}  // namespace
