// 7z and tar-gzip archives, made and unpacked by the external tools.

#include <string>
#include <sx/SxFS.h>
#include <voplatform/ArchiveTools.h>
#include <voutil/VoArchive.h>
#include <voutil/VoSilentProcess.h>
#include <voutil/VoSysEnv.h>

namespace {

constexpr char kSource[] = "src/util/VoArchive";

using voplatform::kTarTool;

SxString sevenZipTool() {
   return VoSysEnv::getRTERootDir() + voplatform::k7zBelowRoot;
}

void requireTool(SxString const& tool) {
   if (!SxFSAction::test_f(tool))
      throw SxException("Archive tool " + tool + " not found", kSource);
}

void requireArchive(SxString const& archive) {
   if (!SxFSAction::test_f(archive))
      throw SxException("Archive file " + archive + " not found", kSource);
}

// A name the tool would read as a switch ("-sdel") or, for 7-Zip, as a list file ("@names") is
// handed over as "./" and the name, which names the same file.
SxString asName(SxString const& path) {
   const std::string& text = path.str();
   return !text.empty() && (text[0] == '-' || text[0] == '@') ? "./" + path : path;
}

// Runs the tool hidden and silent; any exit code but 0 is a failure.
void runTool(SxString const& tool, SxList<SxString> const& args) {
   VoSilentProcess process(tool, args);
   process.setHiddenWindow(true);
   process.start({});
   const int exitCode = process.wait();
   if (exitCode == 0)
      return;
   SxString argText;
   for (SxString const& arg : args)
      argText += " " + arg;
   throw SxException("Could not execute archive process " + tool + " with args : " + argText +
                         " Exit code : " + SxString(exitCode),
                     kSource);
}

// A packing call: timed as Compression; the tool check and the run are wrapped.
void pack(SxString const& tool, SxList<SxString> const& args) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Compression));
   try {
      requireTool(tool);
      runTool(tool, args);
   } catch (SxException const& e) {
      throw SxException(e, "Compression of target file failed", kSource);
   }
}

// An unpacking call: timed as Decompression; a missing archive is reported as it is, then the
// destination, the tool check and the run are wrapped.
void unpack(SxString const& archive, SxString const& destDir, SxString const& tool,
            SxList<SxString> const& args) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Decompression));
   requireArchive(archive);
   try {
      SxFSAction::mkdir_p(destDir, 0777);
      requireTool(tool);
      runTool(tool, args);
   } catch (SxException const& e) {
      throw SxException(e, "Extraction of archive failed", kSource);
   }
}

} // namespace

template <>
SxTimerNames<Timer::ArchiveTimer>::SxTimerNames() {
   regTimer(Timer::Compression, "Data Compression");
   regTimer(Timer::Decompression, "Data Decompression");
}

void VoArchive::compress7z(SxString const& source, SxString const& archive) {
   pack(sevenZipTool(), {"a", "-t7z", asName(archive), "-m0=lzma2", "-mx=9", asName(source)});
}

void VoArchive::extract7z(SxString const& archive, SxString const& destDir) {
   unpack(archive, destDir, sevenZipTool(), {"e", "-aoa", "-o" + destDir, asName(archive)});
}

void VoArchive::compressZip(SxString const& source, SxString const& archive) {
   const SxFile file(source);
   pack(kTarTool, {"-C", file.getPath(), "-czf", archive, asName(file.getName())});
}

void VoArchive::extractZip(SxString const& archive, SxString const& destDir) {
   unpack(archive, destDir, kTarTool, {"-C", destDir, "-xf", archive});
}
