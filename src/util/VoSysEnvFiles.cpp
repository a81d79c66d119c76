// VoSysEnv: free space, links, file length, elevation and the foundation's log switch.

#include "VoScopedHandle.h"

#include <sx/SxError.h>
#include <sx/SxLog.h>
#include <voplatform/DriveText.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {
constexpr char kSource[] = "src/util/VoSysEnv";

// Links to files and directories may be made without privilege where the system allows it
// (developer mode); the directory flag marks a directory link.
constexpr DWORD kLinkUnprivileged = 0x2;
constexpr DWORD kLinkDirectory = 0x1;

void makeLink(const SxString& link, const SxString& target, DWORD flags) {
   const SxString linkPath = VoSysEnv::unifyBackslashes(link);
   const SxString targetPath = VoSysEnv::unifyBackslashes(target);
   if (!CreateSymbolicLinkW(reinterpret_cast<LPCWSTR>(linkPath.utf16().elements()),
                            reinterpret_cast<LPCWSTR>(targetPath.utf16().elements()), flags))
      throw SxException("Creation of Symlink " + target + " -> " + link +
                            " failed: " + sxstrerror(static_cast<long>(GetLastError())),
                        kSource);
}
} // namespace

uint64_t VoSysEnv::getFreeDiskSpace(const SxString& path) {
   SxString drive = path.isEmpty() ? getDataPath() : path;
   if (voplatform::kDriveTextLength > 0)
      drive.resize(voplatform::kDriveTextLength, true);
   ULARGE_INTEGER available;
   available.QuadPart = 0;
   if (!GetDiskFreeSpaceExW(reinterpret_cast<LPCWSTR>(drive.utf16().elements()), &available,
                            nullptr, nullptr))
      throw SxException("Failed to determine free space on drive " + drive, kSource);
   return available.QuadPart;
}

void VoSysEnv::symLinkFile(const SxString& link, const SxString& target) {
   makeLink(link, target, kLinkUnprivileged);
}

void VoSysEnv::symLinkDir(const SxString& link, const SxString& target) {
   makeLink(link, target, kLinkUnprivileged | kLinkDirectory);
}

void VoSysEnv::truncateFile(const SxString& path, uint64_t size) {
   // Nothing is reported: with a file that cannot be opened the later calls fail quietly.
   const vo::detail::ScopedHandle file(CreateFileW(path.utf16().elements(), GENERIC_WRITE,
                                                   FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
   LARGE_INTEGER position;
   position.QuadPart = static_cast<int64_t>(size);
   (void)SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN);
   (void)SetEndOfFile(file.get());
}

bool VoSysEnv::isElevated() {
   HANDLE opened = nullptr;
   if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
      throw SxException("Cannot create process token for query elevation: " +
                            sxstrerror(static_cast<long>(GetLastError())),
                        kSource);
   const vo::detail::ScopedHandle token(opened);
   TOKEN_ELEVATION elevation{};
   DWORD length = sizeof elevation;
   if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &length))
      throw SxException("Cannot get token information for query elevation: " +
                            sxstrerror(static_cast<long>(GetLastError())),
                        kSource);
   return elevation.TokenIsElevated != 0;
}

void VoSysEnv::enableVARGENOutput() {
   static const char* const kComponents[] = {"voclientapi_v1", "voclientapi_v2", "voclient_v1",
                                             "voclient_v2",    "voreseq",        "vobase",
                                             "vonetio",        "vodevctl",       "voutil"};
   for (const char* component : kComponents)
      SxLog::enable(component);
}
