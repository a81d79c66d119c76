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
