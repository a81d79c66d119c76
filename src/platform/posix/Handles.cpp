// Handles, the last error and the test seams' state.

#include "Posix.h"

#include <mutex>
#include <sx/SxString.h>
#include <unordered_map>
#include <voplatform/TestSeams.h>

namespace voplatform {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// Handles are the addresses of their objects; the table tells a live handle from a stale one,
// so a closed or foreign handle is reported instead of followed.
struct HandleTable {
   std::mutex mutex;
   std::unordered_map<HANDLE, std::unique_ptr<HandleObject>> objects;
};

HandleTable& handles() {
   static HandleTable* table = new HandleTable; // outlives every static that may close a handle
   return *table;
}

struct Seams {
   std::mutex mutex;
   std::unordered_map<std::string, DWORD> failures;
   DWORD processorCount = 0;
   std::optional<std::vector<std::vector<BYTE>>> adapters;
};

Seams& seams() {
   static Seams* s = new Seams;
   return *s;
}

} // namespace

HANDLE registerHandle(std::unique_ptr<HandleObject> object) {
   HandleTable& table = handles();
   const HANDLE handle = object.get();
   std::lock_guard<std::mutex> lock(table.mutex);
   table.objects.emplace(handle, std::move(object));
   return handle;
}

HandleObject* liveHandleObject(HANDLE handle) {
   HandleTable& table = handles();
   std::lock_guard<std::mutex> lock(table.mutex);
   const auto found = table.objects.find(handle);
   return found == table.objects.end() ? nullptr : found->second.get();
}

BOOL failWith(DWORD status) {
   lastError = status;
   return FALSE;
}

std::optional<DWORD> takeInjectedFailure(std::string_view function) {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   if (s.failures.empty())
      return std::nullopt;
   const auto found = s.failures.find(std::string(function));
   if (found == s.failures.end())
      return std::nullopt;
   const DWORD status = found->second;
   s.failures.erase(found);
   return status;
}

DWORD injectedProcessorCount() {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   return s.processorCount;
}

std::optional<std::vector<std::vector<BYTE>>> injectedAdapterAddresses() {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   return s.adapters;
}

void failNextCall(std::string_view function, DWORD status) {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   s.failures[std::string(function)] = status;
}

void clearInjectedFailures() {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   s.failures.clear();
}

void setProcessorCount(DWORD count) {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   s.processorCount = count;
}

void setAdapterAddresses(std::optional<std::vector<std::vector<BYTE>>> addresses) {
   Seams& s = seams();
   std::lock_guard<std::mutex> lock(s.mutex);
   s.adapters = std::move(addresses);
}

std::string posixPath(LPCWSTR path) {
   std::string text = SxString::fromUtf16(path).bytes();
   for (char& c : text)
      if (c == '\\')
         c = '/';
   return text;
}

} // namespace voplatform

BOOL CloseHandle(HANDLE handle) {
   if (handle == GetCurrentProcess())
      return TRUE;
   voplatform::HandleTable& table = voplatform::handles();
   std::unique_ptr<voplatform::HandleObject> object;
   {
      std::lock_guard<std::mutex> lock(table.mutex);
      const auto found = table.objects.find(handle);
      if (found == table.objects.end())
         return voplatform::failWith(ERROR_INVALID_HANDLE);
      object = std::move(found->second);
      table.objects.erase(found);
   }
   return TRUE; // the object is destroyed outside the lock
}

DWORD GetLastError() {
   return voplatform::lastError;
}

void SetLastError(DWORD status) {
   voplatform::lastError = status;
}
