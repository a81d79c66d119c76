// The one place where native failures become Windows statuses.

#include <cerrno>
#include <sqlite3.h>
#include <voplatform/RegistryBackend.h>

namespace voplatform {

LSTATUS winStatusFromNative(int sqliteCode, int sysErrno) {
   switch (sqliteCode & 0xFF) {
   case SQLITE_OK:
   case SQLITE_ROW:
   case SQLITE_DONE:
      return ERROR_SUCCESS;
   case SQLITE_BUSY:
   case SQLITE_LOCKED:
      return ERROR_BUSY;
   case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
   case SQLITE_READONLY:
   case SQLITE_PERM:
   case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
   case SQLITE_CORRUPT:
   case SQLITE_NOTADB:
   case SQLITE_FORMAT:
   case SQLITE_SCHEMA:
      return ERROR_BADDB;
   case SQLITE_FULL:
      return ERROR_DISK_FULL;
   case SQLITE_CANTOPEN:
   case SQLITE_IOERR:
      break;
   default:
      return ERROR_REGISTRY_IO_FAILED;
   }
   // Opening and I/O failures say more through the system call behind them.
   switch (sysErrno) {
   case EACCES:
   case EPERM:
   case EROFS:
      return ERROR_ACCESS_DENIED;
   case ENOENT:
   case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
   case ENOSPC:
   case EDQUOT:
      return ERROR_DISK_FULL;
   case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
   case EISDIR:
      return ERROR_BADDB;
   default:
      return (sqliteCode & 0xFF) == SQLITE_CANTOPEN ? ERROR_CANTOPEN : ERROR_REGISTRY_IO_FAILED;
   }
}

} // namespace voplatform

#include "Posix.h"

namespace voplatform {

DWORD winStatusFromErrno(int sysErrno, PathKind kind) {
   switch (sysErrno) {
   case 0:
      return ERROR_SUCCESS;
   case EPERM:
   case EACCES:
   case EISDIR:
      return ERROR_ACCESS_DENIED;
   case ENOENT:
      return kind == PathKind::File ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
   case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
   case ESRCH:
   case EINVAL:
      // Windows answers a process id that names no process with an invalid parameter.
      return ERROR_INVALID_PARAMETER;
   case EEXIST:
      return ERROR_ALREADY_EXISTS;
   case EBADF:
      return ERROR_INVALID_HANDLE;
   case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
   case EMFILE:
   case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
   case ENOSPC:
   case EDQUOT:
      return ERROR_DISK_FULL;
   case EFBIG:
      return ERROR_FILE_TOO_LARGE;
   case EROFS:
      return ERROR_WRITE_PROTECT;
   case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
   case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
   case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
   case EBUSY:
      return ERROR_BUSY;
   case EIO:
      return ERROR_IO_DEVICE;
   case ENOSYS:
   case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
   default:
      return ERROR_INVALID_FUNCTION;
   }
}

} // namespace voplatform
