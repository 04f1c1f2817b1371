// Starts the tests' real FTP servers (pyftpdlib and vsftpd, as tests/support/ftp_servers.h
// starts them for the Linux tests) for a Windows test program under Wine, which cannot start
// them itself, runs the command given, and stops them when it ends.
//
//   ftp-servers-for-wine ROOT COMMAND [ARGUMENTS...]
//
// Both serve the folder ROOT (made when missing). The command finds them in its environment:
//   KVB_WINDOWS_PYFTPD=PORT         pyftpdlib, user dlmorv / ka47tz19 and anonymous
//   KVB_WINDOWS_VSFTPD=PORT         vsftpd, anonymous only, read-only
//   KVB_WINDOWS_FTP_ROOT=Z:\...     ROOT as the Windows program names it (drive Z: is the root)
//   KVB_WINDOWS_FTP_ROOT_UNIX=...   ROOT as the servers name it
// Exits with the command's exit code, or 2 when a server does not start.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "support/ftp_servers.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ftp-servers-for-wine ROOT COMMAND [ARGUMENTS...]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root = fs::absolute(argv[1]);
  std::unique_ptr<testsupport::FtpServer> pyftpd, vsftpd;
  try {
    fs::create_directories(root);
    pyftpd = testsupport::FtpServer::StartPyftpd(root.string());
    vsftpd = testsupport::FtpServer::StartVsftpd(root.string());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ftp-servers-for-wine: %s\n", e.what());
    return 2;
  }
  std::string windowsRoot = "Z:" + root.string();
  for (char& c : windowsRoot)
    if (c == '/') c = '\\';
  ::setenv("KVB_WINDOWS_PYFTPD", std::to_string(pyftpd->Port()).c_str(), 1);
  ::setenv("KVB_WINDOWS_VSFTPD", std::to_string(vsftpd->Port()).c_str(), 1);
  ::setenv("KVB_WINDOWS_FTP_ROOT", windowsRoot.c_str(), 1);
  ::setenv("KVB_WINDOWS_FTP_ROOT_UNIX", root.c_str(), 1);
  std::printf("pyftpdlib on 127.0.0.1:%d, vsftpd on 127.0.0.1:%d, serving %s\n", pyftpd->Port(),
              vsftpd->Port(), root.c_str());
  std::fflush(stdout);

  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return 2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
