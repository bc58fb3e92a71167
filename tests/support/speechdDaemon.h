// A private Speech Dispatcher daemon for tests: its own socket,
// configuration, log and runtime directory in a fresh temporary directory,
// eSpeak NG as its only module and libao's null driver as its sound card.
// Stopped by its PID. available() is false when the daemon is not installed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class SpeechdDaemon {
 public:
  static constexpr const char* kBinary = "/usr/bin/speech-dispatcher";
  static constexpr const char* kModuleConf = "/etc/speech-dispatcher/modules/espeak-ng.conf";

  static bool available() {
    return ::access(kBinary, X_OK) == 0 && std::filesystem::exists(kModuleConf);
  }

  // Starts the daemon and waits (up to 10 s) until its socket takes a
  // connection: the file appears at bind, a moment before the daemon listens.
  bool start() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/naviro-speechd-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    dir_ = pattern;
    for (const char* sub : {"conf/modules", "run", "log", "home"})
      fs::create_directories(dir_ / sub);
    fs::copy_file(kModuleConf, dir_ / "conf/modules/espeak-ng.conf");
    std::ofstream(dir_ / "conf/speechd.conf")
        << "CommunicationMethod \"unix_socket\"\n"
        << "SocketPath \"" << socket().string() << "\"\n"
        << "Timeout 0\n"
        << "LogDir \"" << (dir_ / "log").string() << "\"\n"
        << "AudioOutputMethod \"libao\"\n"
        << "AddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\n"
        << "DefaultModule espeak-ng\n"
        << "DefaultLanguage \"pt\"\n";
    std::ofstream(dir_ / "home/.libao") << "default_driver=null\n";

    const std::string home = "HOME=" + (dir_ / "home").string();
    const std::string runtime = "XDG_RUNTIME_DIR=" + (dir_ / "run").string();
    const std::string conf = (dir_ / "conf").string();
    std::vector<std::string> env{home, runtime, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{kBinary, "-C", conf, "-s", "-t", "0"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (dir_ / "log/daemon.out").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&pid_, kBinary, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (fs::exists(socket()) && accepts()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Kills the daemon by its PID and reaps it; its module processes, known
  // by their PIDs beforehand, are ended too if they outlive it.
  void stop(int signal = SIGTERM) {
    if (pid_ <= 0) return;
    std::vector<pid_t> modules;
    std::ifstream children("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) +
                           "/children");
    for (pid_t child; children >> child;) modules.push_back(child);
    ::kill(pid_, signal);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    for (pid_t module : modules) {
      std::ifstream cmdline("/proc/" + std::to_string(module) + "/cmdline");
      std::string command;
      std::getline(cmdline, command);
      if (command.find("sd_espeak-ng") != std::string::npos) ::kill(module, SIGTERM);
    }
  }

  ~SpeechdDaemon() {
    stop();
    std::error_code error;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, error);
  }

  [[nodiscard]] bool accepts() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket().string();
    if (path.size() >= sizeof address.sun_path) {
      ::close(fd);
      return false;
    }
    path.copy(address.sun_path, path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }

  [[nodiscard]] std::filesystem::path socket() const { return dir_ / "run/speechd.sock"; }
  [[nodiscard]] std::string address() const { return "unix_socket:" + socket().string(); }

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
};

}  // namespace testing_support
