// VoSysEnv: the clocks, time stamps, identity of the running system and the per-application
// settings.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <sx/SxMd5.h>
#include <sx/SxRegex.h>
#include <sx/SxUUIDv4.h>
#include <vector>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

// Sockets come before the rest of the system's declarations, the adapter list after them.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

namespace {
constexpr char kSource[] = "src/util/VoSysEnv";
// Milliseconds from 1601-01-01, where file times start, to the Unix epoch.
constexpr uint64_t kEpochOffsetMs = 11644473600000ULL;
constexpr char kAppsKey[] = "HKCU/Software/MORV/Apps/";

SxString formatLocalTime(const tm& fields, const SxString& format) {
   char buffer[1024];
   // The caller's format is the point of the call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
   const std::size_t n = std::strftime(buffer, sizeof buffer, format.ascii().c_str(), &fields);
#pragma GCC diagnostic pop
   return SxString::fromUtf8(buffer, static_cast<std::ptrdiff_t>(n));
}

// The value's text under app's key, or the empty text when the key cannot be read or lacks it.
SxString appValue(const SxString& app, const SxString& value) {
   const SxString key = kAppsKey + app;
   if (VoRegistry::isReadable(key) && VoRegistry::contains(key, value))
      return VoRegistry::getVal(key, value);
   return SxString();
}
} // namespace

uint64_t VoSysEnv::getSysTime() {
   SYSTEMTIME now;
   GetSystemTime(&now);
   FILETIME fileTime;
   SystemTimeToFileTime(&now, &fileTime);
   const uint64_t ticks = (uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
   return ticks / 10000 - kEpochOffsetMs;
}

VoSysEnv::VoTimestamp::VoTimestamp()
    : year(-1), month(-1), day(-1), hour(-1), minute(-1), second(-1) {}

VoSysEnv::VoTimestamp::~VoTimestamp() = default;

int64_t VoSysEnv::getStdTime() {
   return std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::system_clock::now().time_since_epoch())
       .count();
}

int64_t VoSysEnv::getLocalTime() {
   const __time64_t now = std::chrono::system_clock::to_time_t(
       std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
   // The UTC fields read back as local time: mktime applies the zone's offset (and, with the
   // daylight-saving flag left at 0, no summer shift). The record is our own, so threads do not
   // share the runtime's.
   std::tm fields{};
   _gmtime64_s(&fields, &now);
   const std::time_t shifted = std::mktime(&fields);
   return std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::system_clock::from_time_t(shifted).time_since_epoch())
       .count();
}

SxString VoSysEnv::getTimestamp() {
   const __time64_t now = _time64(nullptr);
   tm fields{};
   _localtime64_s(&fields, &now);
   return formatLocalTime(fields, "%Y-%m-%d %H:%M:%S");
}

VoSysEnv::VoTimestamp VoSysEnv::getVoTimestamp() {
   const SxRegex pattern("([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2})", "");
   const SxList<SxString> parts = pattern.match(getTimestamp());
   VoTimestamp stamp;
   if (parts.getSize() < 7)
      return stamp;
   stamp.year = parts(1).toInt();
   stamp.month = parts(2).toInt();
   stamp.day = parts(3).toInt();
   stamp.hour = parts(4).toInt();
   stamp.minute = parts(5).toInt();
   stamp.second = parts(6).toInt();
   return stamp;
}

SxString VoSysEnv::unixTimeToString(uint64_t ms, const SxString& format) {
   const auto seconds = static_cast<__time64_t>(ms / 1000);
   const tm* fields = _localtime64(&seconds);
   return fields ? formatLocalTime(*fields, format) : SxString();
}

SxString VoSysEnv::getNewGUID() {
   return SxUUIDv4().getStr();
}

SxString VoSysEnv::getHostname() {
   WCHAR buffer[260] = {};
   DWORD size = 260;
   return GetComputerNameExW(ComputerNameDnsHostname, buffer, &size) ? SxString::fromUtf16(buffer)
                                                                     : SxString("localhost");
}

SxString VoSysEnv::getUsername() {
   WCHAR buffer[257];
   DWORD size = 257;
   if (!GetUserNameW(buffer, &size))
      return "nobody";
   return SxString::fromUtf16(buffer);
}

SxString VoSysEnv::getMachineId() {
   try {
      return VoRegistry::getVal("HKLM/SOFTWARE/MORV", "MachineGuid");
   } catch (const SxException&) {
      throw SxException("Cannot read machine id from >HKLM/SOFTWARE/MORV/MachineGuid<", kSource);
   }
}

SxString VoSysEnv::getUserId() {
   return SxMd5::get(getMachineId());
}

SxList<SxString> VoSysEnv::getAdaptersId() {
   // Room for 32 records; a machine with more gets an empty list.
   constexpr ULONG kBufferSize = 22528;
   SxArray<unsigned char> buffer(kBufferSize);
   auto* adapter = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.elements());
   ULONG size = kBufferSize;
   if (GetAdaptersInfo(adapter, &size) != ERROR_SUCCESS)
      return {};
   std::vector<SxString> ids;
   for (; adapter; adapter = adapter->Next) {
      // Six pairs whatever the address length says: a shorter address shows the bytes after it.
      const BYTE* a = adapter->Address;
      SxString id =
          SxString::sprintf("%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
      // Before the first greater text, so equal texts stay in arrival order.
      ids.insert(std::upper_bound(ids.begin(), ids.end(), id), std::move(id));
   }
   return SxList<SxString>(ids.begin(), ids.end());
}

void VoSysEnv::setUserKey(const SxString& app, const SxString& key) {
   try {
      VoRegistry::setVal(kAppsKey + app, "userkey", VoRegistry::Item::Sz, key);
   } catch (const SxException& e) {
      throw SxException(e, "Failed to write user key", kSource);
   }
}

SxString VoSysEnv::getUserKey(const SxString& app) {
   try {
      return appValue(app, "userkey");
   } catch (const SxException& e) {
      throw SxException(e, "Failed to read user key", kSource);
   }
}

int VoSysEnv::isQuestionaireAnswered(const SxString& app) {
   try {
      const SxString answer = appValue(app, "FeedbackProvided");
      return answer.isEmpty() ? 0 : answer.toInt();
   } catch (const SxException& e) {
      throw SxException(e, "Failed to read user key", kSource);
   }
}
