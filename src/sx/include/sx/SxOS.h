#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <thread>
#include <utility>

/// The system calls the foundation makes, behind one small interface so that tests can make any
/// of them fail. Every file the foundation opens, reads, writes, syncs, renames, removes,
/// examines or maps, every pipe and child process it creates and every thread it starts goes
/// through SxOS::current().
///
/// Failures follow the C library: a call returns -1 (or null) and sets errno. The default
/// implementation of each platform maps its native errors to errno values in one place.
class SXFS_API SxOS {
public:
   /// The kinds of calls, for doubles that count and fail them.
   enum class Call {
      Open,
      Read,
      Write,
      Flush,
      Sync,
      Close,
      Seek,
      Rename,
      Unlink,
      Stat,
      Map,
      Pipe,
      ReadPipe,
      WritePipe,
      Spawn,
      StartThread
   };

   /// A pipe end or a child process: a descriptor or process id on POSIX, a HANDLE on Windows.
   using Handle = intptr_t;
   /// No handle: as a child's standard stream, the one this process has.
   static constexpr Handle kNoHandle = -1;

   /// What a stat call tells about a file.
   struct FileStat {
      /// A device is a character or block device; Other is a pipe, socket and the like.
      enum class Kind { Regular, Directory, Device, Other };
      Kind kind = Kind::Other;
      int64_t size = 0;
      /// Device and file number together name the file (on Windows the volume serial number
      /// and the file index).
      uint64_t device = 0;
      uint64_t fileNumber = 0;
   };

   virtual ~SxOS() = default;

   /// Opens name with an fopen mode ("rb", "wb", "ab", "r+b", ...; an added "x" makes creation
   /// fail when the file exists). A file the call creates gets the permission bits where the
   /// platform has them. The descriptor is not inherited by child processes. Returns null and
   /// sets errno on failure.
   virtual std::FILE* open(const SxString& name, const char* mode, int permissions) = 0;
   /// Reads up to n bytes and returns how many it read: 0 only at the end of the file, possibly
   /// fewer than n elsewhere. Returns -1 and sets errno on failure; EINTR asks for a retry.
   virtual int64_t read(std::FILE* file, void* buffer, int64_t n) = 0;
   /// Writes up to n bytes and returns how many it wrote, possibly fewer than n. Returns -1 and
   /// sets errno on failure; EINTR asks for a retry.
   virtual int64_t write(std::FILE* file, const void* data, int64_t n) = 0;
   /// Hands the bytes buffered in the process to the system. Returns 0, or -1 with errno.
   virtual int flush(std::FILE* file) = 0;
   /// Flushes, then makes the system store the file's bytes on the device, so that they survive
   /// a crash. Returns 0, or -1 with errno.
   virtual int sync(std::FILE* file) = 0;
   /// Closes the file, flushing what is buffered; the file is closed even when this fails.
   /// Returns 0, or -1 with errno.
   virtual int close(std::FILE* file) = 0;
   /// Moves the file position to offset bytes from whence (SEEK_SET, SEEK_CUR, SEEK_END).
   /// Returns 0, or -1 with errno.
   virtual int seek(std::FILE* file, int64_t offset, int whence) = 0;
   /// The file position, or -1 with errno.
   virtual int64_t tell(std::FILE* file) = 0;
   /// Moves the file from onto the name to, replacing a file of that name in one step, and
   /// makes the new name durable. Returns 0, or -1 with errno.
   virtual int rename(const SxString& from, const SxString& to) = 0;
   /// Removes the named file. Returns 0, or -1 with errno.
   virtual int unlink(const SxString& name) = 0;
   /// Fills *result for the named file, following links. Returns 0, or -1 with errno, leaving
   /// *result untouched.
   virtual int stat(const SxString& name, FileStat* result) = 0;
   /// Fills *result for an open file. Returns 0, or -1 with errno, leaving *result untouched.
   virtual int stat(std::FILE* file, FileStat* result) = 0;
   /// Maps the first size bytes of the open file read-only and returns their address, with the
   /// platform's handle of the mapping in *mapping. Returns null, with nothing to undo, when the
   /// file cannot be mapped, and always where the system lets another process shrink a mapped
   /// file (POSIX: the next access would end the process with a signal). The mapping outlives
   /// the file's closing.
   virtual const char* map(std::FILE* file, std::size_t size, void** mapping) = 0;
   /// Undoes a successful map.
   virtual void unmap(const char* data, std::size_t size, void* mapping) = 0;

   /// Creates an anonymous pipe: ends[0] reads what ends[1] writes. Neither end is inherited by
   /// child processes except as a standard stream handed to spawn. Returns 0, or -1 with errno,
   /// leaving ends untouched.
   virtual int pipe(Handle ends[2]) = 0;
   /// Reads up to n bytes from the read end of a pipe, waiting until at least one byte is there
   /// or every write end is closed, and returns how many it read: 0 only when every write end is
   /// closed and nothing is left. Returns -1 and sets errno on failure; EINTR asks for a retry.
   virtual int64_t readPipe(Handle end, void* buffer, int64_t n) = 0;
   /// Writes up to n bytes to the write end of a pipe and returns how many it wrote, from 1 to
   /// n. An end made non-blocking takes what fits and returns -1 with EAGAIN when nothing fits.
   /// Returns -1 and sets errno on failure: EPIPE when no read end is open (POSIX then also
   /// raises SIGPIPE, which the caller blocks). EINTR asks for a retry.
   virtual int64_t writePipe(Handle end, const void* data, int64_t n) = 0;
   /// Starts program as a child process with args as its argument list (args[0] names the
   /// program) and stdio[0], stdio[1], stdio[2] as its standard input, output and error
   /// (kNoHandle: this process's own). The child inherits no other handle; with hiddenWindow it
   /// shows no window where the platform has windows. Stores the child (its process id on POSIX,
   /// its process handle on Windows, which the caller closes) in *child. Returns 0, or -1 with
   /// errno (ENOENT: no such program), leaving *child untouched.
   virtual int spawn(const SxString& program, const SxList<SxString>& args, const Handle stdio[3],
                     bool hiddenWindow, Handle* child) = 0;
   /// Starts a thread of the system by calling create, which constructs it, and stores it in
   /// *thread, which must hold no thread. The caller constructs the thread so that the thread's
   /// code stays in the caller's module. Returns 0, or -1 with errno (EAGAIN: the system can
   /// start no more threads), leaving *thread untouched.
   virtual int startThread(const std::function<std::thread()>& create, std::thread* thread) = 0;

   /// The implementation in use: the platform's, unless a test installed another.
   static SxOS& current();
   /// Makes os the implementation in use (the platform's when null) and returns the one before.
   /// Not synchronised with calls in flight: tests install before they start work.
   static SxOS* install(SxOS* os);
   /// The platform's own implementation.
   static SxOS& platform();
};

/// Passes every call on to another implementation; doubles derive from it and override what
/// they change.
class SXFS_API SxForwardingOS : public SxOS {
public:
   explicit SxForwardingOS(SxOS& target) : target_(target) {}

   std::FILE* open(const SxString& name, const char* mode, int permissions) override {
      return target_.open(name, mode, permissions);
   }
   int64_t read(std::FILE* file, void* buffer, int64_t n) override {
      return target_.read(file, buffer, n);
   }
   int64_t write(std::FILE* file, const void* data, int64_t n) override {
      return target_.write(file, data, n);
   }
   int flush(std::FILE* file) override { return target_.flush(file); }
   int sync(std::FILE* file) override { return target_.sync(file); }
   int close(std::FILE* file) override { return target_.close(file); }
   int seek(std::FILE* file, int64_t offset, int whence) override {
      return target_.seek(file, offset, whence);
   }
   int64_t tell(std::FILE* file) override { return target_.tell(file); }
   int rename(const SxString& from, const SxString& to) override {
      return target_.rename(from, to);
   }
   int unlink(const SxString& name) override { return target_.unlink(name); }
   int stat(const SxString& name, FileStat* result) override { return target_.stat(name, result); }
   int stat(std::FILE* file, FileStat* result) override { return target_.stat(file, result); }
   const char* map(std::FILE* file, std::size_t size, void** mapping) override {
      return target_.map(file, size, mapping);
   }
   void unmap(const char* data, std::size_t size, void* mapping) override {
      target_.unmap(data, size, mapping);
   }
   int pipe(Handle ends[2]) override { return target_.pipe(ends); }
   int64_t readPipe(Handle end, void* buffer, int64_t n) override {
      return target_.readPipe(end, buffer, n);
   }
   int64_t writePipe(Handle end, const void* data, int64_t n) override {
      return target_.writePipe(end, data, n);
   }
   int spawn(const SxString& program, const SxList<SxString>& args, const Handle stdio[3],
             bool hiddenWindow, Handle* child) override {
      return target_.spawn(program, args, stdio, hiddenWindow, child);
   }
   int startThread(const std::function<std::thread()>& create, std::thread* thread) override {
      return target_.startThread(create, thread);
   }

protected:
   SxOS& target() { return target_; }

private:
   SxOS& target_;
};
