# The compression libraries behind compressed images and the hash library, as one target each:
# tavrin_zlib, tavrin_lzma, tavrin_zstd, tavrin_minizip, tavrin_bz2, tavrin_lz4, tavrin_mbedcrypto
# (MD5, SHA-1, SHA-256), tavrin_archive (libarchive's 7z and tar readers). The host build takes
# Debian's -dev packages; the product takes zlib from libz-mingw-w64-dev and the
# others as scripts/build-libs.sh cross-builds them from Debian's sources (run
# here at configure time; it returns at once when its cache is complete).
if(WIN32)
  get_filename_component(TAVRIN_BUILD_ROOT "${CMAKE_BINARY_DIR}/.." ABSOLUTE)
  set(TAVRIN_LIBS_DIR "${TAVRIN_BUILD_ROOT}/libs/mingw-i686" CACHE PATH
      "Where scripts/build-libs.sh keeps the cross-built compression libraries")
  execute_process(COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-libs.sh" "${TAVRIN_LIBS_DIR}"
                  RESULT_VARIABLE build_libs_result)
  if(NOT build_libs_result EQUAL 0)
    message(FATAL_ERROR "scripts/build-libs.sh could not build the compression libraries")
  endif()
  set(TAVRIN_ZLIB_LIBRARY "${CMAKE_FIND_ROOT_PATH}/lib/libz.a")
  if(NOT EXISTS "${TAVRIN_ZLIB_LIBRARY}")
    message(FATAL_ERROR "${TAVRIN_ZLIB_LIBRARY} is missing: install libz-mingw-w64-dev (scripts/install-deps.sh)")
  endif()
  add_library(tavrin_zlib STATIC IMPORTED)
  set_target_properties(tavrin_zlib PROPERTIES IMPORTED_LOCATION "${TAVRIN_ZLIB_LIBRARY}")
  foreach(lib lzma zstd minizip bz2 lz4 mbedcrypto archive)
    add_library(tavrin_${lib} STATIC IMPORTED)
    set_target_properties(tavrin_${lib} PROPERTIES IMPORTED_LOCATION "${TAVRIN_LIBS_DIR}/lib/lib${lib}.a"
                          INTERFACE_INCLUDE_DIRECTORIES "${TAVRIN_LIBS_DIR}/include")
  endforeach()
  set_target_properties(tavrin_minizip PROPERTIES INTERFACE_LINK_LIBRARIES tavrin_zlib)
  # The static library's headers must not ask for its DLL's imports.
  set_target_properties(tavrin_archive PROPERTIES INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
                        INTERFACE_LINK_LIBRARIES "tavrin_lzma;tavrin_zstd;tavrin_bz2;tavrin_zlib")
else()
  find_package(ZLIB REQUIRED)
  add_library(tavrin_zlib INTERFACE)
  target_link_libraries(tavrin_zlib INTERFACE ZLIB::ZLIB)
  foreach(lib lzma zstd minizip bz2 lz4 mbedcrypto archive)
    find_library(TAVRIN_${lib}_LIBRARY NAMES ${lib} REQUIRED)
    add_library(tavrin_${lib} INTERFACE)
    target_link_libraries(tavrin_${lib} INTERFACE ${TAVRIN_${lib}_LIBRARY})
  endforeach()
  target_link_libraries(tavrin_minizip INTERFACE tavrin_zlib)
endif()
