#pragma once

// What the layer's units share: handle objects, failure reporting and the test seams' state.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace voplatform {

/// The object behind a HANDLE. CloseHandle destroys it.
class HandleObject {
public:
   virtual ~HandleObject() = default;
};

/// Hands out a handle for object; CloseHandle takes it back.
HANDLE registerHandle(std::unique_ptr<HandleObject> object);

/// The object of a live handle if it is a T, else null.
template <class T>
T* handleObject(HANDLE handle);

HandleObject* liveHandleObject(HANDLE handle);

template <class T>
T* handleObject(HANDLE handle) {
   return dynamic_cast<T*>(liveHandleObject(handle));
}

/// Which object a failing call's path names: a missing file and a missing directory read
/// differently on Windows, while POSIX says ENOENT for both.
enum class PathKind { File, Directory };

/// The Windows status for an errno value.
DWORD winStatusFromErrno(int sysErrno, PathKind kind = PathKind::File);

/// Sets the last error to status and returns FALSE, for the failure paths of BOOL functions.
BOOL failWith(DWORD status);

/// The status a test armed for function with failNextCall, taken once.
std::optional<DWORD> takeInjectedFailure(std::string_view function);

/// The injected processor count, 0 when none is set.
DWORD injectedProcessorCount();

/// The injected adapter addresses, nullopt when none are set.
std::optional<std::vector<std::vector<BYTE>>> injectedAdapterAddresses();

/// The user's home directory: $HOME, else the password database's entry for the user, else
/// empty. The one lookup of the layer.
std::string homeDirectory();

/// A Windows path as a POSIX one: UTF-16 to UTF-8, every backslash a "/".
std::string posixPath(LPCWSTR path);

} // namespace voplatform
