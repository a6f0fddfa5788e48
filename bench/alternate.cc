// Times commands side by side: one run of each in turn, round after round,
// so that whatever the machine does meanwhile falls on all of them alike.
// Prints, per command, the median wall time and the ratio of the first
// command's median time to its own.
//
//   alternate [--reset COMMAND] [--sync] ROUNDS TITLE NAME|COMMAND...
//
// A COMMAND is split on blanks and run without a shell; its output is
// discarded, and a nonzero status stops the benchmark.  Before each timed
// run, untimed: the --reset command, so that every command starts from the
// same state (a file no other file shares blocks with, say), then with
// --sync the page cache's dirty data is written back.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string name;
  std::vector<std::string> words;
  std::vector<double> seconds;
};

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename T>
T median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool run_once(Command* c) {
  std::vector<char*> argv;
  for (auto& w : c->words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  double start = now();
  pid_t pid;
  int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                           environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    fprintf(stderr, "%s: %s\n", argv[0], strerror(error));
    return false;
  }
  int status;
  if (waitpid(pid, &status, 0) != pid) return false;
  double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s failed with status %d\n", c->name.c_str(), status);
    return false;
  }
  c->seconds.push_back(elapsed);
  return true;
}

Command parse_command(const std::string& name, const std::string& line) {
  Command c{name, {}, {}};
  std::istringstream words(line);
  for (std::string w; words >> w;) c.words.push_back(w);
  return c;
}

}  // namespace

int main(int argc, char* argv[]) {
  int arg = 1;
  bool sync_first = false;
  bool reset_first = false;
  Command reset;
  if (arg + 1 < argc && strcmp(argv[arg], "--reset") == 0) {
    reset = parse_command("reset", argv[arg + 1]);
    reset_first = true;
    arg += 2;
  }
  if (arg < argc && strcmp(argv[arg], "--sync") == 0) {
    sync_first = true;
    ++arg;
  }
  if (argc - arg < 3) {
    fputs("usage: alternate [--reset COMMAND] [--sync] ROUNDS TITLE "
          "NAME|COMMAND...\n", stderr);
    return 2;
  }
  int rounds = atoi(argv[arg++]);
  const char* title = argv[arg++];
  std::vector<Command> commands;
  for (; arg < argc; ++arg) {
    std::string argument = argv[arg];
    size_t eq = argument.find('|');
    commands.push_back(
        parse_command(argument.substr(0, eq), argument.substr(eq + 1)));
  }

  // One untimed round first: it warms the page cache and the binaries.
  for (auto& c : commands) {
    if (!run_once(&c)) return 1;
    c.seconds.clear();
  }
  for (int r = 0; r < rounds; ++r) {
    for (auto& c : commands) {
      if (reset_first && !run_once(&reset)) return 1;
      if (sync_first) sync();
      if (!run_once(&c)) return 1;
    }
  }

  printf("\n%s (%d rounds, medians)\n\n", title, rounds);
  printf("| command | time | %s time / this |\n", commands[0].name.c_str());
  printf("|---|---:|---:|\n");
  double first = median(commands[0].seconds);
  for (const auto& c : commands) {
    double t = median(c.seconds);
    printf("| %s | %.3f ms | %.3f |\n", c.name.c_str(), t * 1e3, first / t);
  }
  return 0;
}
