# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix threads),
# linking the third-party libraries scripts/windows-deps builds into its
# cache, and runs the built programs (ctest, test discovery) under Wine.
#
#   cmake -S . -B build-windows \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DKORVEL_WINDOWS_CACHE=$HOME/.cache/korvel-windows
#
# Compilers: apt-get install g++-mingw-w64-x86-64-posix; Wine: apt-get
# install wine64. The third-party libraries link statically; the C++
# runtime's DLLs travel with the programs (see below).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVEL_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${KORVEL_MINGW_TRIPLET}-gcc-posix)
find_program(CMAKE_CXX_COMPILER NAMES ${KORVEL_MINGW_TRIPLET}-g++-posix)
find_program(CMAKE_RC_COMPILER NAMES ${KORVEL_MINGW_TRIPLET}-windres)
if(NOT CMAKE_C_COMPILER OR NOT CMAKE_CXX_COMPILER)
  message(FATAL_ERROR
    "${KORVEL_MINGW_TRIPLET}-gcc-posix / -g++-posix not found: "
    "apt-get install g++-mingw-w64-x86-64-posix")
endif()

# The cache of libraries built by scripts/windows-deps: one prefix per
# library and version (<cache>/<name>-<version>/{include,lib}), each with a
# .korvel-built stamp once it is complete.
if(NOT KORVEL_WINDOWS_CACHE)
  if(DEFINED ENV{KORVEL_WINDOWS_CACHE} AND NOT "$ENV{KORVEL_WINDOWS_CACHE}" STREQUAL "")
    set(KORVEL_WINDOWS_CACHE "$ENV{KORVEL_WINDOWS_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(KORVEL_WINDOWS_CACHE "$ENV{XDG_CACHE_HOME}/korvel-windows")
  else()
    set(KORVEL_WINDOWS_CACHE "$ENV{HOME}/.cache/korvel-windows")
  endif()
endif()
set(KORVEL_WINDOWS_CACHE "${KORVEL_WINDOWS_CACHE}" CACHE PATH
    "Folder of the Windows libraries built by scripts/windows-deps")
# try_compile projects read this file again: hand them the same cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVEL_WINDOWS_CACHE)

# Finished prefixes only, newest version of each library first: those with
# a .korvel-built stamp inside, or with a stamp named after them in
# <cache>/stamps/. KORVEL_WINDOWS_EXTRA_PREFIXES adds others.
file(GLOB _korvel_dirs LIST_DIRECTORIES true "${KORVEL_WINDOWS_CACHE}/*-*")
file(GLOB _korvel_stamps RELATIVE "${KORVEL_WINDOWS_CACHE}/stamps" "${KORVEL_WINDOWS_CACHE}/stamps/*")
set(KORVEL_WINDOWS_PREFIXES "")
foreach(_dir IN LISTS _korvel_dirs)
  if(NOT IS_DIRECTORY "${_dir}")
    continue()
  endif()
  get_filename_component(_name "${_dir}" NAME)
  set(_done FALSE)
  if(EXISTS "${_dir}/.korvel-built")
    set(_done TRUE)
  endif()
  foreach(_stamp IN LISTS _korvel_stamps)
    if(_stamp STREQUAL _name OR _stamp MATCHES "^${_name}\\.")
      set(_done TRUE)
    endif()
  endforeach()
  if(_done)
    list(APPEND KORVEL_WINDOWS_PREFIXES "${_dir}")
  endif()
endforeach()
list(SORT KORVEL_WINDOWS_PREFIXES COMPARE NATURAL ORDER DESCENDING)
list(APPEND KORVEL_WINDOWS_PREFIXES ${KORVEL_WINDOWS_EXTRA_PREFIXES})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVEL_WINDOWS_EXTRA_PREFIXES)
if(NOT KORVEL_WINDOWS_PREFIXES)
  message(WARNING "No libraries in ${KORVEL_WINDOWS_CACHE}: run scripts/windows-deps first")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW_TRIPLET} ${KORVEL_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (pkg_check_modules) reads the cache's .pc files and never the
# build machine's.
set(_korvel_pc_dirs "")
foreach(_prefix IN LISTS KORVEL_WINDOWS_PREFIXES)
  if(IS_DIRECTORY "${_prefix}/lib/pkgconfig")
    list(APPEND _korvel_pc_dirs "${_prefix}/lib/pkgconfig")
  endif()
endforeach()
string(REPLACE ";" ":" _korvel_pc_path "${_korvel_pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${_korvel_pc_path}")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# The programs and their DLLs share one C++ runtime (libstdc++, libgcc and
# winpthread as DLLs, which travel beside them: KORVEL_MINGW_RUNTIME_DLLS),
# so that exceptions and objects pass between them. A DLL exports only its
# own symbols, never those of the static libraries linked into it.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--exclude-libs,ALL")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--exclude-libs,ALL")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _korvel_stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE _korvel_gcc OUTPUT_STRIP_TRAILING_WHITESPACE)
set(KORVEL_MINGW_RUNTIME_DLLS "${_korvel_stdcxx}" "${_korvel_gcc}"
    "/usr/${KORVEL_MINGW_TRIPLET}/lib/libwinpthread-1.dll")

# Built programs run under Wine: one prefix per build tree (delete it for a
# fresh one; KORVEL_WINE_PREFIX names another folder), no debug channels, no
# Mono or Gecko installer. Each run keeps the prefix's wineserver alive a few
# seconds after it, so that the next test program starts in a fraction of a
# second instead of several. The prefix is made here, at configure time, so
# that no test (nor gtest_discover_tests' time limit) pays for it; builds
# that run nothing under Wine pass -DKORVEL_WINE_INIT=OFF.
find_program(KORVEL_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORVEL_WINE64)
  get_filename_component(_korvel_wine_dir "${KORVEL_WINE64}" DIRECTORY)
  find_program(KORVEL_WINESERVER NAMES wineserver64 wineserver PATHS "${_korvel_wine_dir}" NO_DEFAULT_PATH)
  if(NOT KORVEL_WINE_PREFIX)
    set(KORVEL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
  endif()
  set(KORVEL_WINE_PREFIX "${KORVEL_WINE_PREFIX}" CACHE PATH "WINEPREFIX the test programs run in")
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVEL_WINE_PREFIX KORVEL_WINE_INIT)
  set(_korvel_wine_env
      "export WINEPREFIX='${KORVEL_WINE_PREFIX}' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='")
  set(_korvel_wine_run "${_korvel_wine_env}")
  if(KORVEL_WINESERVER)
    # wineserver -p5 answers 0 when it started the server. Wine's own
    # services then start at once, with their output away from the test's
    # (ctest and test discovery wait until every holder of the test's
    # output has closed it). The lock keeps parallel tests from racing.
    string(APPEND _korvel_wine_run
      " && (flock -o '${KORVEL_WINE_PREFIX}.lock' -c \"'${KORVEL_WINESERVER}' -p5 >/dev/null 2>&1"
      " && '${KORVEL_WINE64}' wineboot </dev/null >/dev/null 2>&1\" || true)")
  endif()
  # sh -c SCRIPT NAME PROGRAM ARGS...; the script holds no ';' (a CMake
  # list separator).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "/bin/sh;-c;${_korvel_wine_run} && exec '${KORVEL_WINE64}' \"$@\";wine64")
  option(KORVEL_WINE_INIT "Make the Wine prefix at configure time" ON)
  if(KORVEL_WINE_INIT AND NOT EXISTS "${KORVEL_WINE_PREFIX}/system.reg")
    message(STATUS "Making the Wine prefix ${KORVEL_WINE_PREFIX}")
    execute_process(
      COMMAND /bin/sh -c "${_korvel_wine_env} && '${KORVEL_WINE64}' wineboot --init"
      RESULT_VARIABLE _korvel_wine_rc OUTPUT_QUIET ERROR_QUIET)
    if(NOT _korvel_wine_rc EQUAL 0)
      message(WARNING "wineboot failed (${_korvel_wine_rc}) in ${KORVEL_WINE_PREFIX}")
    endif()
  endif()
else()
  message(WARNING "wine64 not found (apt-get install wine64): test programs will not run")
endif()
