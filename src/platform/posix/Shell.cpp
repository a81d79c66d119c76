// Known folders, answered from the XDG user directories and the home directory.

#include "Posix.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <string>
#include <sx/SxString.h>
#include <unistd.h>
#include <vector>
#include <windows.h>

const KNOWNFOLDERID FOLDERID_Documents = {
    0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
const KNOWNFOLDERID FOLDERID_Downloads = {
    0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
const KNOWNFOLDERID FOLDERID_LocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
const KNOWNFOLDERID FOLDERID_ProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
const KNOWNFOLDERID FOLDERID_Desktop = {
    0xB4BFCC3A, 0xDB2C, 0x424C, {0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41}};
const KNOWNFOLDERID FOLDERID_Profile = {
    0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
const KNOWNFOLDERID FOLDERID_RoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
const KNOWNFOLDERID FOLDERID_StartMenu = {
    0x625B53C3, 0xAB48, 0x4EC1, {0xBA, 0x1F, 0xA1, 0xEF, 0x41, 0x46, 0xFC, 0x19}};
const KNOWNFOLDERID FOLDERID_SavedGames = {
    0x4C5C32FF, 0xBB9D, 0x43B0, {0xB5, 0xB4, 0x2D, 0x72, 0xE5, 0x4E, 0xAA, 0xA4}};
const KNOWNFOLDERID FOLDERID_LocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
const KNOWNFOLDERID FOLDERID_Programs = {
    0xA77F5D77, 0x2E2B, 0x44C3, {0xA6, 0xA2, 0xAB, 0xA6, 0x01, 0x05, 0x4A, 0x51}};

namespace {

bool sameGuid(const GUID& a, const GUID& b) {
   return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string envOr(const char* name, const std::string& fallback) {
   const char* value = std::getenv(name);
   return value && *value == '/' ? std::string(value) : fallback;
}

// A user directory from user-dirs.dirs (lines such as XDG_DOWNLOAD_DIR="$HOME/Downloads"), or
// the home directory with the usual default name.
std::string userDirectory(const std::string& home, const char* key, const char* defaultName) {
   std::ifstream dirs(envOr("XDG_CONFIG_HOME", home + "/.config") + "/user-dirs.dirs");
   const std::string prefix = std::string(key) + "=\"";
   for (std::string line; std::getline(dirs, line);) {
      if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"')
         continue;
      std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
      if (value.rfind("$HOME", 0) == 0)
         value = home + value.substr(5);
      if (!value.empty() && value[0] == '/')
         return value;
   }
   return home + "/" + defaultName;
}

std::string resolve(const KNOWNFOLDERID& id) {
   const std::string home = voplatform::homeDirectory();
   if (sameGuid(id, FOLDERID_ProgramData))
      return "/var/lib";
   if (home.empty())
      return {};
   const std::string data = envOr("XDG_DATA_HOME", home + "/.local/share");
   if (sameGuid(id, FOLDERID_Documents))
      return userDirectory(home, "XDG_DOCUMENTS_DIR", "Documents");
   if (sameGuid(id, FOLDERID_Downloads))
      return userDirectory(home, "XDG_DOWNLOAD_DIR", "Downloads");
   if (sameGuid(id, FOLDERID_Desktop))
      return userDirectory(home, "XDG_DESKTOP_DIR", "Desktop");
   if (sameGuid(id, FOLDERID_LocalAppData))
      return data;
   if (sameGuid(id, FOLDERID_RoamingAppData))
      return envOr("XDG_CONFIG_HOME", home + "/.config");
   if (sameGuid(id, FOLDERID_LocalAppDataLow))
      return envOr("XDG_STATE_HOME", home + "/.local/state");
   if (sameGuid(id, FOLDERID_Profile))
      return home;
   if (sameGuid(id, FOLDERID_StartMenu) || sameGuid(id, FOLDERID_Programs))
      return data + "/applications";
   if (sameGuid(id, FOLDERID_SavedGames))
      return data + "/games";
   return {};
}

} // namespace

std::string voplatform::homeDirectory() {
   if (const char* home = std::getenv("HOME"); home && *home)
      return home;
   std::vector<char> buffer(16384);
   passwd entry{};
   passwd* found = nullptr;
   if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
       found->pw_dir && *found->pw_dir)
      return found->pw_dir;
   return {};
}

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folder, DWORD flags, HANDLE token, PWSTR* path) {
   if (!path)
      return E_INVALIDARG;
   *path = nullptr;
   if (flags != 0 || token != nullptr)
      return E_INVALIDARG;
   const std::string found = resolve(folder);
   if (found.empty())
      return E_FAIL;
   const SxArray<SxChar16> units = SxString(std::string_view(found)).utf16();
   auto* copy = static_cast<WCHAR*>(std::malloc(sizeof(WCHAR) * units.getSize()));
   if (!copy)
      return E_FAIL;
   std::memcpy(copy, units.elements(), sizeof(WCHAR) * units.getSize());
   *path = copy;
   return S_OK;
}

void CoTaskMemFree(void* memory) {
   std::free(memory);
}
