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
       {5, "Access is denied."},
       {6, "The handle is invalid."},
       {8, "Not enough memory resources are available to process this command."},
       {13, "The data is invalid."},
       {87, "The parameter is incorrect."},
       {112, "There is not enough space on the disk."},
       {161, "The specified path is invalid."},
       {170, "The requested resource is in use."},
       {234, "More data is available."},
       {259, "No more data is available."},
       {1009, "The configuration registry database is corrupt."},
       {1010, "The configuration registry key is invalid."},
       {1011, "The configuration registry key could not be opened."},
       {1012, "The configuration registry key could not be read."},
       {1013, "The configuration registry key could not be written."},
       {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could "
              "not read in, or write out, or flush, one of the files that contain the system's "
              "image of the registry."},
       {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
   };
   for (const Entry& e : kTexts)
      if (e.code == code)
         return e.text;
   return SxString::sprintf("Unknown error %ld.", code);
}
