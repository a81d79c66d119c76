# Cross build for 64-bit Windows with mingw-w64, run under Wine.
#
# The -posix compilers are the ones whose runtime has std::thread and std::mutex. Everything is
# linked statically, so a test program runs under Wine without the compiler's DLLs beside it.
# Third-party libraries come from the prefix that scripts/prepare-windows-deps.sh fills
# (build/windows-deps/prefix unless VOUTIL_WINDOWS_DEPS names another one).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOUTIL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VOUTIL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOUTIL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VOUTIL_MINGW_TRIPLET}-windres)

# A DLL exports its own symbols only: the runtime linked into it (the unwinder, libstdc++) stays
# private, or every DLL after the first would export a second copy of it. C++20 code instantiates
# std::string members itself, and the linker exports those copies from our DLLs too; a module that
# also links libstdc++ then sees two identical definitions, so the first one found is taken.
set(VOUTIL_MINGW_LINK "-static -static-libgcc -static-libstdc++ -Wl,--allow-multiple-definition")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VOUTIL_MINGW_LINK}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VOUTIL_MINGW_LINK} -Wl,--exclude-libs,ALL")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VOUTIL_MINGW_LINK} -Wl,--exclude-libs,ALL")

# The toolchain file is read again for every try_compile, so the prefix travels through the
# environment as well as the cache.
if(NOT DEFINED VOUTIL_WINDOWS_DEPS)
  if(DEFINED ENV{VOUTIL_WINDOWS_DEPS})
    set(VOUTIL_WINDOWS_DEPS "$ENV{VOUTIL_WINDOWS_DEPS}")
  else()
    get_filename_component(VOUTIL_WINDOWS_DEPS
      "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps/prefix" ABSOLUTE)
  endif()
endif()
set(ENV{VOUTIL_WINDOWS_DEPS} "${VOUTIL_WINDOWS_DEPS}")

# The prepared headers count as system headers, as the host's do in /usr/include: their own
# warnings are not ours to fix.
set(CMAKE_C_FLAGS_INIT "-isystem ${VOUTIL_WINDOWS_DEPS}/include")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${VOUTIL_WINDOWS_DEPS}/include")

set(CMAKE_FIND_ROOT_PATH "${VOUTIL_WINDOWS_DEPS}" /usr/${VOUTIL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A program built against an unpacked voutil zip names it in CMAKE_PREFIX_PATH and asks for
# CMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH on the command line.
if(NOT DEFINED CMAKE_FIND_ROOT_PATH_MODE_PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()

# The prefix holds static libraries only.
set(PCRE2_USE_STATIC_LIBS ON)

# pkg-config answers for the Windows libraries only, never for the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${VOUTIL_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(VOUTIL_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${VOUTIL_WINE}")
