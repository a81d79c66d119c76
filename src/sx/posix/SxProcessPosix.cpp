// Starting, feeding, reading and waiting for child processes on POSIX.

#include "../SxProcessImpl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <sx/SxException.h>
#include <sx/SxOS.h>
#include <sx/SxUtf.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxProcess";

void closeFd(int& fd) {
   if (fd >= 0)
      ::close(fd);
   fd = -1;
}

// Writing to a child that has ended raises SIGPIPE, which would end this process. The signal is
// blocked on this thread while the guard lives, and one that a write raised is taken before the
// mask is restored.
class SigpipeBlock {
public:
   SigpipeBlock() {
      sigemptyset(&pipe_);
      sigaddset(&pipe_, SIGPIPE);
      sigset_t pending;
      sigemptyset(&pending);
      ::sigpending(&pending);
      wasPending_ = sigismember(&pending, SIGPIPE) == 1;
      ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
   }
   ~SigpipeBlock() {
      if (raised && !wasPending_) {
         const timespec now{};
         while (::sigtimedwait(&pipe_, nullptr, &now) < 0 && errno == EINTR) {
         }
      }
      ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
   }
   SigpipeBlock(const SigpipeBlock&) = delete;
   SigpipeBlock& operator=(const SigpipeBlock&) = delete;

   bool raised = false;

private:
   sigset_t pipe_;
   sigset_t old_;
   bool wasPending_ = false;
};

[[noreturn]] void failRead(int err) {
   throw SxException("Can't read from child process: " + SxString(std::strerror(err)), kSource);
}

// Appends what the pipe holds to text, after poll reported it ready; false at its end. An
// interrupted read takes nothing and is tried again at the next poll.
bool readInto(int fd, std::string& text) {
   char buffer[65536];
   const int64_t got = SxOS::current().readPipe(fd, buffer, sizeof buffer);
   if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
      return true;
   }
   if (got == 0)
      return false;
   if (errno == EINTR || errno == EAGAIN)
      return true;
   failRead(errno);
}

} // namespace

struct ChildProcess {
   pid_t pid = -1;
   int in = -1;  // our end of the child's standard input, non-blocking
   int out = -1; // our end of the child's standard output
   int err = -1; // our end of the child's standard error
   // Output read while writing, handed to the hooks by waitChild.
   std::string outRead;
   std::string errRead;

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

std::unique_ptr<ChildProcess, ChildDeleter>
spawnChild(const SxString& program, const SxList<SxString>& args, int pipes, bool hiddenWindow) {
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
   SxOS& os = SxOS::current();
   auto makePipe = [&](int(&fds)[2]) {
      SxOS::Handle ends[2];
      if (os.pipe(ends) != 0)
         fail("pipe", errno);
      fds[0] = static_cast<int>(ends[0]);
      fds[1] = static_cast<int>(ends[1]);
   };
   if (pipes & SxProcess::StdIn) {
      makePipe(inPipe);
      // Our end does not block, so that writing can turn to reading the output.
      if (::fcntl(inPipe[1], F_SETFL, O_NONBLOCK) != 0)
         fail("pipe", errno);
   }
   if (pipes & SxProcess::StdOut)
      makePipe(outPipe);
   if (pipes & SxProcess::StdErr)
      makePipe(errPipe);

   const SxOS::Handle stdio[3] = {inPipe[0], outPipe[1], errPipe[1]};
   SxOS::Handle pid = SxOS::kNoHandle;
   if (os.spawn(program, args, stdio, hiddenWindow, &pid) != 0)
      fail("spawn", errno);

   child->pid = static_cast<pid_t>(pid);
   child->in = inPipe[1];
   child->out = outPipe[0];
   child->err = errPipe[0];
   closeFd(inPipe[0]);
   closeFd(outPipe[1]);
   closeFd(errPipe[1]);
   return child;
}

// A child that echoes its input blocks once its output pipe is full and then reads no more, so
// the output is read while the input is written.
bool writeChild(ChildProcess& child, const char* data, long long n) {
   if (child.in < 0)
      return false;
   SxOS& os = SxOS::current();
   SigpipeBlock sigpipe;
   while (n > 0) {
      pollfd fds[] = {{child.in, POLLOUT, 0}, {child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
      if (::poll(fds, 3, -1) < 0) {
         if (errno == EINTR)
            continue;
         return false;
      }
      std::string* read[] = {nullptr, &child.outRead, &child.errRead};
      for (int i = 1; i < 3; ++i)
         if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !readInto(fds[i].fd, *read[i]))
            closeFd(i == 1 ? child.out : child.err);
      if (!(fds[0].revents & (POLLOUT | POLLERR | POLLHUP)))
         continue;
      const int64_t w = os.writePipe(child.in, data, n);
      if (w < 0 && (errno == EINTR || errno == EAGAIN))
         continue;
      if (w <= 0) {
         sigpipe.raised = errno == EPIPE;
         return false;
      }
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
   } streams[] = {{&child.out, &onOut, std::move(child.outRead)},
                  {&child.err, &onErr, std::move(child.errRead)}};

   auto flush = [](Stream& s, bool all) {
      const std::size_t n = all ? s.pending.size() : SxUtf::completePrefix(s.pending);
      if (n == 0)
         return;
      const SxString piece(std::string_view(s.pending).substr(0, n));
      s.pending.erase(0, n);
      (*s.hook)(piece);
   };

   for (Stream& s : streams)
      flush(s, *s.fd < 0);
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
         failRead(errno);
      }
      for (nfds_t i = 0; i < n; ++i) {
         if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
         const bool open = readInto(fds[i].fd, owners[i]->pending);
         if (!open)
            closeFd(*owners[i]->fd);
         flush(*owners[i], !open);
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
