# The Windows product: static 32-bit executables importing only system DLLs,
# built from one set of objects: tavrin.exe, the window program (which also
# runs the command line), and tavrin.com, the same code as a console program,
# so that a console waits for it and gets its exit code (typed as "tavrin" in
# a console, the .com is found first).
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

add_library(tavrin_objects OBJECT ${TAVRIN_SOURCES} src/resources/tavrin.rc)
# The resource compiler reads these files too; a change to them rebuilds the resources.
set_source_files_properties(src/resources/tavrin.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/resources/tavrin.manifest;${CMAKE_SOURCE_DIR}/src/resources/tavrin.ico;${CMAKE_SOURCE_DIR}/src/resources/featured.bmp")
target_include_directories(tavrin_objects PRIVATE src src/resources)
target_compile_definitions(tavrin_objects PRIVATE TAVRIN_SERVER_HOST="${TAVRIN_SERVER_HOST}"
                           WINVER=0x0400 _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)
target_compile_options(tavrin_objects PRIVATE ${TAVRIN_WARNINGS} -O2)
target_link_libraries(tavrin_objects PRIVATE ${TAVRIN_CODEC_LIBS})

foreach(face windows console)
  if(face STREQUAL "windows")
    set(target tavrin)
  else()
    set(target tavrin_console)
  endif()
  add_executable(${target} $<TARGET_OBJECTS:tavrin_objects>)
  # Subsystem version 4.0 keeps the image loadable by the legacy family.
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -m${face} -Wl,--gc-sections
                      -Wl,--subsystem,${face}:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  # Winsock 2 and InitCommonControlsEx are looked up at run time: a plain first
  # release of the legacy family lacks them, and a static import would stop it
  # from loading the program at all.
  target_link_libraries(${target} PRIVATE ${TAVRIN_CODEC_LIBS} comctl32 comdlg32 shell32 gdi32 user32 advapi32 kernel32)
endforeach()
set_target_properties(tavrin_console PROPERTIES OUTPUT_NAME tavrin SUFFIX ".com")

# The Windows-side UI driver of the end-to-end suite.
file(GLOB UIDRIVER_SOURCES CONFIGURE_DEPENDS tests/e2e/driver/*.cpp)
if(UIDRIVER_SOURCES)
  # A console program, so its results reach the shell's standard output.
  add_executable(tavrin_uidriver ${UIDRIVER_SOURCES})
  target_include_directories(tavrin_uidriver PRIVATE src/resources)
  target_compile_definitions(tavrin_uidriver PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0501 _WIN32_IE=0x0600)
  target_compile_options(tavrin_uidriver PRIVATE -Wall -Wextra -Werror -O2)
  target_link_options(tavrin_uidriver PRIVATE -static -static-libgcc -static-libstdc++)
  target_link_libraries(tavrin_uidriver PRIVATE comctl32 shell32 user32 gdi32 kernel32)
endif()
