// Starts the test server as a child process on a free loopback port; the
// server exits when this process ends (its stdin is a pipe held here).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

class ServerProcess {
 public:
  explicit ServerProcess(const std::string& binary, std::vector<std::string> args = {}) {
    char dir[] = "/tmp/xlts.XXXXXX";
    dir_ = mkdtemp(dir);
    std::string port_file = dir_ + "/port";
    int fds[2];
    if (pipe(fds) != 0) abort();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[0], 0);
      close(fds[1]);
      std::vector<std::string> all = {binary, "--port-file", port_file, "--exit-with-stdin"};
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& a : all) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(binary.c_str(), argv.data());
      _exit(127);
    }
    close(fds[0]);
    stdin_ = fds[1];
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::ifstream f(port_file);
      if (!(f >> port_)) usleep(10000);
    }
  }
  ~ServerProcess() {
    close(stdin_);
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (system(cmd.c_str()) != 0) {
    }
  }
  int port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};
