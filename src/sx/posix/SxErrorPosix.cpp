// Error texts of native error codes on POSIX.

#include <sx/SxError.h>

// The POSIX platform layer reports the Windows status codes, so their texts are the Windows
// wording too: callers see the same message on both platforms.
SxString sxstrerror(long code) {
   struct Entry {
      long code;
      const char* text;
   };
   static constexpr Entry kTexts[] = {
       {0, "The operation completed successfully."},
       {1, "Incorrect function."},
       {2, "The system cannot find the file specified."},
       {3, "The system cannot find the path specified."},
       {4, "The system cannot open the file."},
       {5, "Access is denied."},
       {6, "The handle is invalid."},
       {8, "Not enough memory resources are available to process this command."},
       {13, "The data is invalid."},
       {18, "There are no more files."},
       {19, "The media is write protected."},
       {21, "The device is not ready."},
       {24, "The program issued a command but the command length is incorrect."},
       {32, "The process cannot access the file because it is being used by another process."},
       {50, "The request is not supported."},
       {80, "The file exists."},
       {87, "The parameter is incorrect."},
       {111, "The file name is too long."},
       {112, "There is not enough space on the disk."},
       {122, "The data area passed to a system call is too small."},
       {126, "The specified module could not be found."},
       {131, "An attempt was made to move the file pointer before the beginning of the file."},
       {161, "The specified path is invalid."},
       {170, "The requested resource is in use."},
       {183, "Cannot create a file when that file already exists."},
       {206, "The filename or extension is too long."},
       {223, "The file size exceeds the limit allowed and cannot be saved."},
       {232, "The pipe is being closed."},
       {234, "More data is available."},
       {259, "No more data is available."},
       {267, "The directory name is invalid."},
       {1009, "The configuration registry database is corrupt."},
       {1010, "The configuration registry key is invalid."},
       {1011, "The configuration registry key could not be opened."},
       {1012, "The configuration registry key could not be read."},
       {1013, "The configuration registry key could not be written."},
       {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could "
              "not read in, or write out, or flush, one of the files that contain the system's "
              "image of the registry."},
       {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
       {1117, "The request could not be performed because of an I/O device error."},
       {1314, "A required privilege is not held by the client."},
       {1332, "No mapping between account names and security IDs was done."},
       {1400, "Invalid window handle."},
       {1921, "The name of the file cannot be resolved by the system."},
   };
   for (const Entry& e : kTexts)
      if (e.code == code)
         return e.text;
   return SxString::sprintf("Unknown error %ld.", code);
}
