// Starting, feeding, reading and waiting for child processes on POSIX.

#include "../SxProcessImpl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sx/SxException.h>
#include <sx/SxUtf.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxProcess";

void closeFd(int& fd) {
   if (fd >= 0)
      ::close(fd);
   fd = -1;
}

} // namespace

struct ChildProcess {
   pid_t pid = -1;
   int in = -1;  // our end of the child's standard input
   int out = -1; // our end of the child's standard output
   int err = -1; // our end of the child's standard error

   ~ChildProcess() {
      closeFd(in);
      closeFd(out);
      closeFd(err);
      if (pid > 0) {
         // Reap the child so it does not linger as a zombie; it has not been waited for.
         int status = 0;
         while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
         }
      }
   }
};

void ChildDeleter::operator()(ChildProcess* child) const {
   delete child;
}

std::unique_ptr<ChildProcess, ChildDeleter> spawnChild(const SxString& program,
                                                       const SxList<SxString>& args, int pipes,
                                                       bool /*hiddenWindow*/) {
   std::unique_ptr<ChildProcess, ChildDeleter> child(new ChildProcess);
   int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
   auto fail = [&](const char* what, int err) {
      for (int* p : {inPipe, outPipe, errPipe}) {
         closeFd(p[0]);
         closeFd(p[1]);
      }
      throw SxException("Can't start process '" + program + "' : " + SxString(what) + ": " +
                            SxString(std::strerror(err)),
                        kSource);
   };
   if ((pipes & SxProcess::StdIn) && ::pipe2(inPipe, O_CLOEXEC) != 0)
      fail("pipe", errno);
   if ((pipes & SxProcess::StdOut) && ::pipe2(outPipe, O_CLOEXEC) != 0)
      fail("pipe", errno);
   if ((pipes & SxProcess::StdErr) && ::pipe2(errPipe, O_CLOEXEC) != 0)
      fail("pipe", errno);

   posix_spawn_file_actions_t actions;
   posix_spawn_file_actions_init(&actions);
   if (inPipe[0] >= 0)
      posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
   if (outPipe[1] >= 0)
      posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
   if (errPipe[1] >= 0)
      posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

   std::vector<std::string> storage;
   for (const SxString& a : args)
      storage.push_back(a.bytes());
   std::vector<char*> argv;
   for (std::string& s : storage)
      argv.push_back(s.data());
   argv.push_back(nullptr);

   pid_t pid = -1;
   const int rc =
       ::posix_spawn(&pid, program.bytes().c_str(), &actions, nullptr, argv.data(), environ);
   posix_spawn_file_actions_destroy(&actions);
   if (rc != 0)
      fail("spawn", rc);

   child->pid = pid;
   child->in = inPipe[1];
   child->out = outPipe[0];
   child->err = errPipe[0];
   closeFd(inPipe[0]);
   closeFd(outPipe[1]);
   closeFd(errPipe[1]);
   return child;
}

bool writeChild(ChildProcess& child, const char* data, long long n) {
   if (child.in < 0)
      return false;
   while (n > 0) {
      const ssize_t w = ::write(child.in, data, static_cast<std::size_t>(n));
      if (w < 0 && errno == EINTR)
         continue;
      if (w <= 0)
         return false;
      data += w;
      n -= w;
   }
   return true;
}

void closeChildStdin(ChildProcess& child) {
   closeFd(child.in);
}

int waitChild(ChildProcess& child, const std::function<void(const SxString&)>& onOut,
              const std::function<void(const SxString&)>& onErr) {
   struct Stream {
      int* fd;
      const std::function<void(const SxString&)>* hook;
      std::string pending;
   } streams[] = {{&child.out, &onOut, {}}, {&child.err, &onErr, {}}};

   auto flush = [](Stream& s, bool all) {
      const std::size_t n = all ? s.pending.size() : SxUtf::completePrefix(s.pending);
      if (n == 0)
         return;
      const SxString piece(std::string_view(s.pending).substr(0, n));
      s.pending.erase(0, n);
      (*s.hook)(piece);
   };

   for (;;) {
      pollfd fds[2];
      Stream* owners[2];
      nfds_t n = 0;
      for (Stream& s : streams)
         if (*s.fd >= 0) {
            fds[n] = {*s.fd, POLLIN, 0};
            owners[n++] = &s;
         }
      if (n == 0)
         break;
      if (::poll(fds, n, -1) < 0) {
         if (errno == EINTR)
            continue;
         throw SxException("Can't read from child process: " + SxString(std::strerror(errno)),
                           kSource);
      }
      for (nfds_t i = 0; i < n; ++i) {
         if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
         char buffer[65536];
         const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
         if (got < 0 && errno == EINTR)
            continue;
         if (got <= 0) {
            closeFd(*owners[i]->fd);
            flush(*owners[i], true);
            continue;
         }
         owners[i]->pending.append(buffer, static_cast<std::size_t>(got));
         flush(*owners[i], false);
      }
   }

   closeFd(child.in);
   int status = 0;
   while (::waitpid(child.pid, &status, 0) < 0) {
      if (errno != EINTR)
         throw SxException("Can't wait for child process: " + SxString(std::strerror(errno)),
                           kSource);
   }
   child.pid = -1;
   if (WIFEXITED(status))
      return WEXITSTATUS(status);
   return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

} // namespace sx::detail
