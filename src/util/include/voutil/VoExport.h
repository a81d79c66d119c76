#pragma once

// The export macro of the library: on its public classes and functions, exported while the
// library is built and imported everywhere else.

#include <sx/SxExport.h>

#ifdef voutil_EXPORTS
#define VOUTIL_API SX_DLL_EXPORT
#else
#define VOUTIL_API SX_DLL_IMPORT
#endif
