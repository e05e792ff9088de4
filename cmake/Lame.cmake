# LAME's libmp3lame as the target qx_lame. A cross build for Windows links the static
# library scripts/lame.sh builds from Debian's source package lame 3.100-6 (kept after
# the first build); every other build links the system's (Debian's libmp3lame-dev).
if(CMAKE_CROSSCOMPILING AND WIN32)
  get_filename_component(qx_cc_name ${CMAKE_C_COMPILER} NAME)
  string(REGEX REPLACE "-gcc.*$" "" qx_triplet ${qx_cc_name})
  # All 32-bit x86 processors Windows 8 and later run on have SSE2: three times the speed.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(qx_lame_cflags "-O2 -msse2 -mfpmath=sse")
  else()
    set(qx_lame_cflags "-O2")
  endif()
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lame.sh ${qx_triplet} ${CMAKE_C_COMPILER} "${qx_lame_cflags}"
    OUTPUT_VARIABLE QX_LAME_DIR OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE qx_lame_rc)
  if(NOT qx_lame_rc EQUAL 0)
    message(FATAL_ERROR "LAME could not be fetched and built (scripts/lame.sh, above)")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scripts/lame.sh)
  # scripts/package.sh ships its licence and source with the release.
  set(QX_LAME_DIR ${QX_LAME_DIR} CACHE INTERNAL "")
  add_library(qx_lame STATIC IMPORTED)
  set_target_properties(qx_lame PROPERTIES IMPORTED_LOCATION ${QX_LAME_DIR}/lib/libmp3lame.a
                        INTERFACE_INCLUDE_DIRECTORIES ${QX_LAME_DIR}/include)
else()
  find_package(PkgConfig)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(LAME IMPORTED_TARGET lame)
  endif()
  add_library(qx_lame INTERFACE)
  if(LAME_FOUND)
    target_link_libraries(qx_lame INTERFACE PkgConfig::LAME)
  else()
    # Packages without LAME's pkg-config file (Debian adds it).
    find_path(QX_LAME_INCLUDE lame.h PATH_SUFFIXES lame REQUIRED)
    find_library(QX_LAME_LIBRARY mp3lame REQUIRED)
    target_include_directories(qx_lame INTERFACE ${QX_LAME_INCLUDE})
    target_link_libraries(qx_lame INTERFACE ${QX_LAME_LIBRARY})
  endif()
endif()
