// The machine, the user, the network adapters and the (absent) windows.

#include "Posix.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sx/SxString.h>
#include <unistd.h>
#include <vector>
#include <winsock2.h>

namespace {

// The whole processors that the cgroup v2 CPU limit of this process allows, or 0 without one.
DWORD cgroupProcessorLimit() {
   std::ifstream membership("/proc/self/cgroup");
   std::string line;
   std::string group;
   while (std::getline(membership, line))
      if (line.starts_with("0::"))
         group = line.substr(3);
   if (group.empty())
      return 0;
   std::ifstream limit("/sys/fs/cgroup" + group + "/cpu.max");
   std::string quota;
   uint64_t period = 0;
   if (!(limit >> quota >> period) || quota == "max" || period == 0)
      return 0;
   const double share = std::stod(quota) / static_cast<double>(period);
   return static_cast<DWORD>(std::max(1.0, std::ceil(share)));
}

DWORD processorCount() {
   if (const DWORD injected = voplatform::injectedProcessorCount())
      return injected;
   DWORD count = 1;
   cpu_set_t set;
   if (::sched_getaffinity(0, sizeof set, &set) == 0)
      count = static_cast<DWORD>(std::max(1, CPU_COUNT(&set)));
   else if (const long online = ::sysconf(_SC_NPROCESSORS_ONLN); online > 0)
      count = static_cast<DWORD>(online);
   if (const DWORD limit = cgroupProcessorLimit(); limit && limit < count)
      count = limit;
   return count;
}

struct Adapter {
   std::string name;
   DWORD index;
   UINT type;
   std::vector<BYTE> address;
};

std::vector<Adapter> systemAdapters() {
   std::vector<Adapter> adapters;
   ifaddrs* list = nullptr;
   if (::getifaddrs(&list) != 0)
      return adapters;
   for (const ifaddrs* a = list; a; a = a->ifa_next) {
      if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET)
         continue;
      const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
      const std::size_t length = std::min<std::size_t>(link->sll_halen, MAX_ADAPTER_ADDRESS_LENGTH);
      const std::vector<BYTE> address(link->sll_addr, link->sll_addr + length);
      if (link->sll_hatype == ARPHRD_LOOPBACK ||
          std::all_of(address.begin(), address.end(), [](BYTE b) { return b == 0; }))
         continue;
      adapters.push_back(
          {a->ifa_name, static_cast<DWORD>(link->sll_ifindex),
           link->sll_hatype == ARPHRD_ETHER ? UINT{MIB_IF_TYPE_ETHERNET} : UINT{MIB_IF_TYPE_OTHER},
           address});
   }
   ::freeifaddrs(list);
   std::sort(adapters.begin(), adapters.end(),
             [](const Adapter& x, const Adapter& y) { return x.index < y.index; });
   return adapters;
}

std::vector<Adapter> adapters() {
   const auto injected = voplatform::injectedAdapterAddresses();
   if (!injected)
      return systemAdapters();
   std::vector<Adapter> result;
   for (const std::vector<BYTE>& address : *injected) {
      const auto index = static_cast<DWORD>(result.size() + 1);
      result.push_back(
          {"test" + std::to_string(index), index, MIB_IF_TYPE_ETHERNET,
           std::vector<BYTE>(address.begin(),
                             address.begin() + std::min<std::size_t>(address.size(),
                                                                     MAX_ADAPTER_ADDRESS_LENGTH))});
   }
   return result;
}

void copyName(char* to, std::size_t size, const std::string& name) {
   const std::size_t n = std::min(size - 1, name.size());
   std::memcpy(to, name.data(), n);
   to[n] = '\0';
}

} // namespace

void GetSystemInfo(LPSYSTEM_INFO info) {
   std::memset(info, 0, sizeof *info);
   info->dwPageSize = static_cast<DWORD>(::sysconf(_SC_PAGESIZE));
   info->dwAllocationGranularity = info->dwPageSize;
   info->dwNumberOfProcessors = processorCount();
}

BOOL GetUserNameW(LPWSTR buffer, DWORD* size) {
   if (const auto status = voplatform::takeInjectedFailure("GetUserNameW"))
      return voplatform::failWith(*status);
   if (!size)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   passwd entry{};
   passwd* found = nullptr;
   std::vector<char> scratch(16384);
   if (::getpwuid_r(::geteuid(), &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
      return voplatform::failWith(ERROR_NONE_MAPPED);
   const SxArray<SxChar16> name = SxString::fromUtf8(found->pw_name).utf16();
   const auto units = static_cast<DWORD>(name.getSize()); // with the NUL
   if (!buffer || units > *size) {
      *size = units;
      return voplatform::failWith(ERROR_INSUFFICIENT_BUFFER);
   }
   std::memcpy(buffer, name.elements(), units * sizeof(WCHAR));
   *size = units;
   return TRUE;
}

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT /*format*/, LPWSTR buffer, DWORD* size) {
   if (const auto status = voplatform::takeInjectedFailure("GetComputerNameExW"))
      return voplatform::failWith(*status);
   if (!size)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   char host[256] = {};
   if (::gethostname(host, sizeof host - 1) != 0)
      return voplatform::failWith(voplatform::winStatusFromErrno(errno));
   const SxArray<SxChar16> name = SxString::fromUtf8(host).utf16();
   const auto units = static_cast<DWORD>(name.getSize()); // with the NUL
   if (!buffer || units > *size) {
      *size = units;
      return voplatform::failWith(ERROR_MORE_DATA);
   }
   std::memcpy(buffer, name.elements(), units * sizeof(WCHAR));
   *size = units - 1;
   return TRUE;
}

int WSAStartup(WORD versionRequested, LPWSADATA data) {
   if (data) {
      std::memset(data, 0, sizeof *data);
      data->wVersion = versionRequested;
      data->wHighVersion = MAKEWORD(2, 2);
   }
   return 0;
}

int WSACleanup() {
   return 0;
}

int gethostname(char* name, int length) {
   if (voplatform::takeInjectedFailure("gethostname") || !name || length <= 0)
      return -1;
   if (::gethostname(name, static_cast<std::size_t>(length)) != 0)
      return -1;
   // POSIX may cut a long name without a NUL; Windows fails instead.
   return std::memchr(name, '\0', static_cast<std::size_t>(length)) ? 0 : -1;
}

DWORD GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG size) {
   if (const auto status = voplatform::takeInjectedFailure("GetAdaptersInfo"))
      return *status;
   if (!size)
      return ERROR_INVALID_PARAMETER;
   const std::vector<Adapter> found = adapters();
   if (found.empty())
      return ERROR_NO_DATA;
   const auto needed = static_cast<ULONG>(found.size() * sizeof(IP_ADAPTER_INFO));
   if (!adapterInfo || *size < needed) {
      *size = needed;
      return ERROR_BUFFER_OVERFLOW;
   }
   std::memset(adapterInfo, 0, needed);
   for (std::size_t i = 0; i < found.size(); ++i) {
      IP_ADAPTER_INFO& record = adapterInfo[i];
      record.Next = i + 1 < found.size() ? &adapterInfo[i + 1] : nullptr;
      record.ComboIndex = found[i].index;
      record.Index = found[i].index;
      record.Type = found[i].type;
      copyName(record.AdapterName, sizeof record.AdapterName, found[i].name);
      copyName(record.Description, sizeof record.Description, found[i].name);
      record.AddressLength = static_cast<UINT>(found[i].address.size());
      std::copy(found[i].address.begin(), found[i].address.end(), record.Address);
   }
   return ERROR_SUCCESS;
}

HWND FindWindowExW(HWND, HWND, LPCWSTR, LPCWSTR) {
   SetLastError(ERROR_SUCCESS);
   return nullptr;
}

DWORD GetWindowThreadProcessId(HWND, LPDWORD processId) {
   if (processId)
      *processId = 0;
   SetLastError(ERROR_INVALID_WINDOW_HANDLE);
   return 0;
}

HWND GetWindow(HWND, UINT) {
   SetLastError(ERROR_INVALID_WINDOW_HANDLE);
   return nullptr;
}

BOOL IsWindowVisible(HWND) {
   return FALSE;
}
