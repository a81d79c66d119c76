#pragma once

// Per-platform child-process primitives behind SxProcess; see posix/ and windows/.

#include <functional>
#include <memory>
#include <string>
#include <sx/SxList.h>
#include <sx/SxProcess.h>
#include <sx/SxString.h>

namespace sx::detail {

/// Starts program with args (argv[0] is the program itself). pipes is a sum of the
/// SxProcess::Channels values. Raises SxException when the child cannot be started.
std::unique_ptr<ChildProcess, ChildDeleter>
spawnChild(const SxString& program, const SxList<SxString>& args, int pipes, bool hiddenWindow);
/// Writes to the child's standard input while reading its output; false when the input is not
/// open or the write fails. Raises SxException when reading the output fails.
bool writeChild(ChildProcess& child, const char* data, long long n);
void closeChildStdin(ChildProcess& child);
/// Reads the piped streams to their end, handing each piece to onOut or onErr, then reaps the
/// child and returns its exit code. Raises SxException when a read fails.
int waitChild(ChildProcess& child, const std::function<void(const SxString&)>& onOut,
              const std::function<void(const SxString&)>& onErr);
} // namespace sx::detail
