#pragma once

// Everything the library offers, in one include.

#include <sx/SxArray.h>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <sx/SxList.h>
#include <sx/SxMutex.h>
#include <sx/SxString.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
