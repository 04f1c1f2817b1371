// Real FTP servers for the tests: pyftpdlib and vsftpd on 127.0.0.1 with free ports, started
// by the test and stopped when the object goes.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/peer_process.h"
#include "support/test_dirs.h"

namespace testsupport {

// A port that nothing listens on right now.
inline int FreeTcpPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

inline bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

class FtpServer {
 public:
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;
  ~FtpServer() { Stop(); }

  // pyftpdlib serving `root` to `user`/`password` (and to "anonymous" when asked).
  static std::unique_ptr<FtpServer> StartPyftpd(const std::string& root,
                                                const std::string& user = "dlmorv",
                                                const std::string& password = "ka47tz19",
                                                bool anonymous = true) {
    std::vector<std::string> argv{"/usr/bin/python3", SourceDir() + "/tests/peers/pyftpd.py",
                                  "--root",           root,
                                  "--user",           user,
                                  "--password",       password};
    if (anonymous) argv.push_back("--anonymous");
    auto server = std::unique_ptr<FtpServer>(new FtpServer);
    server->Launch(argv, true);
    return server;
  }

  // vsftpd serving `root` read-only to anonymous users ("anonymous" or "ftp", any password).
  static std::unique_ptr<FtpServer> StartVsftpd(const std::string& root) {
    auto server = std::unique_ptr<FtpServer>(new FtpServer);
    namespace fs = std::filesystem;
    server->workDir_ = fs::temp_directory_path() / ("kvb-vsftpd-" + std::to_string(::getpid()) +
                                                    "-" + std::to_string(std::random_device{}()));
    fs::create_directories(server->workDir_ / "empty");
    server->LaunchVsftpd([&](std::ostream& out) {
      out << "anonymous_enable=YES\nanon_root=" << root
          << "\nno_anon_password=YES\nlocal_enable=NO\nwrite_enable=NO\nrun_as_launching_user="
             "YES\n";
    });
    return server;
  }

  // vsftpd serving `root` read-only to one virtual user (and to nobody else). vsftpd checks
  // the password through PAM: the fixture writes a user database (db_load, package db-util)
  // and a PAM service file /etc/pam.d/kvb-vsftpd-<pid>-<n> for pam_userdb, removed again by
  // Stop. Needs root, as vsftpd's non-anonymous log-in does.
  static std::unique_ptr<FtpServer> StartVsftpdWithUser(const std::string& root,
                                                        const std::string& user = "dlmorv",
                                                        const std::string& password = "ka47tz19") {
    namespace fs = std::filesystem;
    auto server = std::unique_ptr<FtpServer>(new FtpServer);
    std::string unique = std::to_string(::getpid()) + "-" + std::to_string(std::random_device{}());
    server->workDir_ = fs::temp_directory_path() / ("kvb-vsftpd-" + unique);
    fs::create_directories(server->workDir_ / "empty");
    fs::permissions(server->workDir_, fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
    auto users = server->workDir_ / "users";
    {
      std::ofstream list(users.string() + ".txt");
      list << user << "\n" << password << "\n";
    }
    std::string load = "db_load -T -t hash -f '" + users.string() + ".txt' '" + users.string() +
                       ".db' 2>/dev/null";
    if (std::system(load.c_str()) != 0)
      throw std::runtime_error("db_load failed (is the package db-util installed?)");
    std::string service = "kvb-vsftpd-" + unique;
    server->pamFile_ = "/etc/pam.d/" + service;
    {
      std::ofstream pam(server->pamFile_);
      if (!pam) throw std::runtime_error("cannot write " + server->pamFile_ + " (not root?)");
      pam << "auth required pam_userdb.so db=" << users.string() << "\n"
          << "account required pam_userdb.so db=" << users.string() << "\n";
    }
    // The virtual user reads as the system's "ftp" account, shut in `root`.
    server->LaunchVsftpd([&](std::ostream& out) {
      out << "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=NO\n"
             "guest_enable=YES\nguest_username=ftp\nlocal_root="
          << root
          << "\nchroot_local_user=YES\nallow_writeable_chroot=YES\npam_service_name=" << service
          << "\nuserlist_enable=NO\ncheck_shell=NO\n";
    });
    return server;
  }

  int Port() const { return port_; }

  void Stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status;
      for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
      }
    }
    if (stdinFd_ >= 0) ::close(stdinFd_), stdinFd_ = -1;
    if (!pamFile_.empty()) {
      std::remove(pamFile_.c_str());
      pamFile_.clear();
    }
    if (!workDir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(workDir_, ec);
      workDir_.clear();
    }
  }

 private:
  FtpServer() = default;

  // Starts vsftpd on a free loopback port with the settings both kinds share and those that
  // `accounts` writes; tries a few ports, then stops and throws.
  void LaunchVsftpd(const std::function<void(std::ostream&)>& accounts) {
    int pasvBase = 30000 + static_cast<int>(std::random_device{}() % 25000);
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
      int port = FreeTcpPort();
      auto conf = workDir_ / "vsftpd.conf";
      std::ofstream out(conf);
      out << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port << "\nbackground=NO\n";
      accounts(out);
      out << "pasv_enable=YES\npasv_address=127.0.0.1\npasv_min_port=" << pasvBase
          << "\npasv_max_port=" << pasvBase + 200
          << "\nport_enable=YES\nconnect_from_port_20=NO\nsecure_chroot_dir="
          << (workDir_ / "empty").string()
          << "\nseccomp_sandbox=NO\nxferlog_enable=NO\nisolate=NO\nisolate_network=NO\n"
             "max_clients=64\nmax_per_ip=64\nidle_session_timeout=600\n"
             "data_connection_timeout=600\n";
      out.close();
      Launch({"/usr/sbin/vsftpd", conf.string()}, false);
      for (int i = 0; i < 100; ++i) {
        if (CanConnect(port)) {
          port_ = port;
          break;
        }
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (port_ == 0 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
      }
    }
    if (port_ == 0) {
      Stop();
      throw std::runtime_error("vsftpd did not start");
    }
  }

  void Launch(const std::vector<std::string>& argv, bool readPort) {
    int out = -1;
    pid_ = SpawnWithPipes(argv, stdinFd_, out);
    if (readPort) {
      // The server prints "PORT <n>" once it listens.
      port_ = ReadPortLine(out);
      if (port_ == 0) {
        ::close(out);
        Stop();
        throw std::runtime_error("FTP server did not start: " + argv[0] + " " + argv[1]);
      }
    }
    ::close(out);
  }

  pid_t pid_ = -1;
  int port_ = 0;
  int stdinFd_ = -1;
  std::filesystem::path workDir_;
  std::string pamFile_;
};

}  // namespace testsupport
