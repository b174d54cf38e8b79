#include "run_tool.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

void Drain(int fd, std::string& into) {
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
}

}  // namespace

unsigned UnprivilegedUser() {
  return 65534;
}  // nobody

void ExecTool(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  setenv("LC_ALL", "C.UTF-8", 1);
  execv(program.c_str(), argv.data());
  _exit(127);
}

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input, const RunOptions& options) {
  ToolRun run;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return run;
  signal(SIGPIPE, SIG_IGN);
  pid_t child = fork();
  if (child == 0) {
    setsid();  // no controlling terminal: message boxes go on at once
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    for (int fd : options.closed) close(fd);
    if (!options.outputFile.empty()) {
      int fd = open(options.outputFile.c_str(), O_WRONLY);
      if (fd < 0 || dup2(fd, 1) != 1) _exit(126);
      close(fd);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
      _exit(126);
    }
    if (options.fileSizeLimit >= 0) {
      // The write fails with EFBIG instead of killing the tool, unless asked.
      signal(SIGXFSZ, options.killedAtLimit ? SIG_DFL : SIG_IGN);
      rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                   static_cast<rlim_t>(options.fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(UnprivilegedUser()) != 0 ||
          setuid(UnprivilegedUser()) != 0) {
        _exit(126);
      }
    }
    ExecTool(program, arguments);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  std::size_t written = 0;
  while (written < input.size()) {
    ssize_t put = write(in[1], input.data() + written, input.size() - written);
    if (put <= 0) break;
    written += static_cast<std::size_t>(put);
  }
  close(in[1]);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, 30000) <= 0) {
      kill(child, SIGKILL);  // a run that hangs fails its test instead of the suite
      break;
    }
    for (pollfd& p : fds) {
      if (p.fd < 0 || p.revents == 0) continue;
      std::string& into = p.fd == out[0] ? run.out : run.err;
      std::size_t before = into.size();
      Drain(p.fd, into);
      if (into.size() == before) {
        close(p.fd);
        p.fd = -1;
        --open;
      }
    }
  }
  for (pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      out.append(buffer, got);
    }
    pclose(pipe);
  }
  return out;
}

std::string TakeTotals(std::string& err) {
  if (err.size() < 2 || err.back() != '\n') return {};
  const std::size_t newline = err.rfind('\n', err.size() - 2);
  const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
  const std::string line = err.substr(start, err.size() - 1 - start);
  const std::size_t in = line.rfind(" in ");
  if (in == std::string::npos || in < 4 || line.compare(in - 4, 4, " MiB") != 0 ||
      line.find(" file") == std::string::npos || line.compare(line.size() - 2, 2, " s") != 0) {
    return {};
  }
  err.erase(start);
  return line.substr(0, in);
}
