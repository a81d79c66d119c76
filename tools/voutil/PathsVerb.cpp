// voutil paths: the executable, known-folder, data and root paths.

#include "Cli.h"

#include <cstdio>
#include <voutil/VoSysEnv.h>

namespace voutil::cli {

// voutil paths
int runPaths(const Args& args) {
   if (!CommandLine(args, {}).operands().isEmpty())
      throw BadCommandLine("paths takes no arguments");
   auto show = [](const char* label, const SxString& value) {
      std::printf("%-18s %s\n", label, value.bytes().c_str());
   };
   show("executable name", VoSysEnv::getExecName());
   show("executable path", VoSysEnv::getExecPath());
   show("working dir", VoSysEnv::getCWD());
   static const char* const kFolders[] = {
       "Documents", "Downloads",      "LocalAppData", "ProgramData", "LocalAppDataAlt", "Desktop",
       "Profile",   "RoamingAppData", "StartMenu",    "SavedGames",  "LocalAppDataLow", "Programs"};
   for (int i = VoSysEnv::Documents; i <= VoSysEnv::Programs; ++i)
      show(kFolders[i], VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(i)));
   show("data path", VoSysEnv::getDataPath());
   show("root dir", VoSysEnv::getRTERootDir());
   show("schema path", VoSysEnv::getSchemaPath());
   show("config path", VoSysEnv::getConfigPath());
   show("ssl path", VoSysEnv::getSSLPath());
   show("search path", VoSysEnv::getSearchPath());
   return Success;
}

} // namespace voutil::cli
