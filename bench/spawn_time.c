/* Times whole runs of programs, the way a web server pays for them: spawn,
   run, wait. Commands take turns (A, B, A, B, ...) so that a slow moment of
   the machine falls on all of them alike.

   usage: spawn_time RUNS [-u PATH] PROG ARGS... [:: [-u PATH] PROG ARGS...]...

   Each command runs RUNS times (after a few untimed runs) with standard
   input, output and error on /dev/null and this environment; "-u PATH"
   removes PATH before each of its runs (an index, to time its rebuild). Prints
   per command one line: the median and the fastest run in seconds, and the
   median processor time (user and system) of the run in seconds. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

enum { max_commands = 8, warm_up_runs = 3 };

struct command {
  char** argv;
  const char* unlink_path;
  double* seconds;
  double* cpu_seconds;
};

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static double run_once(const struct command* c,
                       const posix_spawn_file_actions_t* actions,
                       double* cpu_seconds) {
  if (c->unlink_path) {
    unlink(c->unlink_path);
  }
  double start = now();
  pid_t pid;
  int error = posix_spawn(&pid, c->argv[0], actions, NULL, c->argv, environ);
  if (error != 0) {
    fprintf(stderr, "spawn_time: cannot run %s: %s\n", c->argv[0],
            strerror(error));
    exit(2);
  }
  int status;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  double seconds = now() - start;
  *cpu_seconds = (double)usage.ru_utime.tv_sec + (double)usage.ru_stime.tv_sec +
                 ((double)usage.ru_utime.tv_usec +
                  (double)usage.ru_stime.tv_usec) * 1e-6;
  if (!WIFEXITED(status)) {
    fprintf(stderr, "spawn_time: %s did not exit normally\n", c->argv[0]);
    exit(2);
  }
  return seconds;
}

static int by_value(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

/* Sorts the values and returns their median. */
static double median(double* values, int count) {
  qsort(values, (size_t)count, sizeof(double), by_value);
  return count % 2 ? values[count / 2]
                   : (values[count / 2 - 1] + values[count / 2]) / 2;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: spawn_time RUNS [-u PATH] PROG ARGS... [:: ...]...\n",
          stderr);
    return 2;
  }
  int runs = atoi(argv[1]);
  struct command commands[max_commands];
  int count = 0;
  for (int i = 2; i < argc && count < max_commands;) {
    struct command* c = &commands[count++];
    c->unlink_path = NULL;
    if (strcmp(argv[i], "-u") == 0 && i + 1 < argc) {
      c->unlink_path = argv[i + 1];
      i += 2;
    }
    c->argv = &argv[i];
    while (i < argc && strcmp(argv[i], "::") != 0) {
      ++i;
    }
    if (i < argc) {
      argv[i++] = NULL;  /* ends this command's argv */
    }
    c->seconds = calloc((size_t)runs, sizeof(double));
    c->cpu_seconds = calloc((size_t)runs, sizeof(double));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  for (int round = -warm_up_runs; round < runs; ++round) {
    for (int k = 0; k < count; ++k) {
      double cpu_seconds;
      double seconds = run_once(&commands[k], &actions, &cpu_seconds);
      if (round >= 0) {
        commands[k].seconds[round] = seconds;
        commands[k].cpu_seconds[round] = cpu_seconds;
      }
    }
  }
  for (int k = 0; k < count; ++k) {
    double wall = median(commands[k].seconds, runs);
    double cpu = median(commands[k].cpu_seconds, runs);
    printf("%.9f %.9f %.9f\n", wall, commands[k].seconds[0], cpu);
  }
  return 0;
}
