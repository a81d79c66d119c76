#pragma once

// Everything the library offers, in one include.

#include <sx/SxArray.h>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxExecPath.h>
#include <sx/SxExport.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxHashFunction.h>
#include <sx/SxList.h>
#include <sx/SxLog.h>
#include <sx/SxMappedFile.h>
#include <sx/SxMd5.h>
#include <sx/SxMutex.h>
#include <sx/SxProcess.h>
#include <sx/SxRegex.h>
#include <sx/SxString.h>
#include <sx/SxThread.h>
#include <sx/SxTimer.h>
#include <sx/SxUUIDv4.h>
#include <sx/SxUniqueList.h>
#include <sx/SxUtf.h>
#include <voutil/VoArchive.h>
#include <voutil/VoAvg.h>
#include <voutil/VoBase64.h>
#include <voutil/VoCopyTask.h>
#include <voutil/VoEncrypt.h>
#include <voutil/VoExport.h>
#include <voutil/VoForSlice.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSilentProcess.h>
#include <voutil/VoSysEnv.h>
#include <voutil/VoTaskMon.h>
