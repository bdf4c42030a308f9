# PNG decoding (the window's skin): libpng with zlib.
#   Windows builds: libpng compiled here from Debian's libpng1.6 source
#   package (fetched once into build/libpng-cache by scripts/fetch-libpng.sh)
#   against the static zlib of libz-mingw-w64-dev.
#   Native build: the system's libpng.
# Either way the target is mv_png.
if(MV_TARGET_WINDOWS)
  set(MV_LIBPNG_CACHE "${CMAKE_SOURCE_DIR}/build/libpng-cache" CACHE PATH "Where the libpng source is kept")
  if(NOT EXISTS "${MV_LIBPNG_CACHE}/src/png.h")
    execute_process(COMMAND "${CMAKE_SOURCE_DIR}/scripts/fetch-libpng.sh" "${MV_LIBPNG_CACHE}"
                    RESULT_VARIABLE _fetch)
    if(NOT _fetch EQUAL 0)
      message(FATAL_ERROR "the libpng source could not be fetched (scripts/fetch-libpng.sh)")
    endif()
  endif()
  find_file(MV_ZLIB_STATIC libz.a PATHS "/usr/${MV_TRIPLE}/lib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT MV_ZLIB_STATIC)
    message(FATAL_ERROR "the static zlib of ${MV_TRIPLE} is missing (package libz-mingw-w64-dev)")
  endif()
  set(_src "${MV_LIBPNG_CACHE}/src")
  set(_gen "${CMAKE_BINARY_DIR}/generated/libpng")
  configure_file("${_src}/scripts/pnglibconf.h.prebuilt" "${_gen}/pnglibconf.h" COPYONLY)
  add_library(mv_png STATIC
    ${_src}/png.c ${_src}/pngerror.c ${_src}/pngget.c ${_src}/pngmem.c ${_src}/pngpread.c
    ${_src}/pngread.c ${_src}/pngrio.c ${_src}/pngrtran.c ${_src}/pngrutil.c ${_src}/pngset.c
    ${_src}/pngtrans.c ${_src}/pngwio.c ${_src}/pngwrite.c ${_src}/pngwtran.c ${_src}/pngwutil.c)
  target_include_directories(mv_png SYSTEM PUBLIC "${_src}" "${_gen}")
  # Third-party code: its own flags, none of the project's warnings.
  target_compile_options(mv_png PRIVATE -w -UWIN32_LEAN_AND_MEAN -DPNG_ARM_NEON_OPT=0 -DPNG_INTEL_SSE_OPT=0)
  target_link_libraries(mv_png PUBLIC "${MV_ZLIB_STATIC}")
else()
  find_package(PNG REQUIRED)
  add_library(mv_png INTERFACE)
  target_link_libraries(mv_png INTERFACE PNG::PNG)
endif()
