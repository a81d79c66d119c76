// Error texts of native error codes on Windows.

#include <sx/SxError.h>
#include <windows.h>

SxString sxstrerror(long code) {
   wchar_t* text = nullptr;
   const DWORD n = ::FormatMessageW(
       FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
   SxString result = n ? SxString::fromUtf16(text) : SxString::sprintf("Unknown error %ld.", code);
   if (text)
      ::LocalFree(text);
   // The system's texts end with a line end, which would break messages built from them.
   while (result.getSize() && (result.tail(1) == "\n" || result.tail(1) == "\r"))
      result.resize(result.getSize() - 1, true);
   return result;
}
