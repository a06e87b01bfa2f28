# The Windows product: one static 32-bit GUI executable importing only system DLLs.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

add_executable(tavrin WIN32 ${TAVRIN_SOURCES} src/resources/tavrin.rc)
# The resource compiler reads these files too; a change to them rebuilds the resources.
set_source_files_properties(src/resources/tavrin.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/resources/tavrin.manifest;${CMAKE_SOURCE_DIR}/src/resources/tavrin.ico;${CMAKE_SOURCE_DIR}/src/resources/featured.bmp")
target_include_directories(tavrin PRIVATE src src/resources)
target_compile_definitions(tavrin PRIVATE TAVRIN_SERVER_HOST="${TAVRIN_SERVER_HOST}"
                           WINVER=0x0400 _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)
target_compile_options(tavrin PRIVATE ${TAVRIN_WARNINGS} -O2)
# Subsystem version 4.0 keeps the image loadable by the legacy family.
target_link_options(tavrin PRIVATE -static -static-libgcc -static-libstdc++ -mwindows -Wl,--gc-sections
                    -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
# Winsock 2 and InitCommonControlsEx are looked up at run time: a plain first
# release of the legacy family lacks them, and a static import would stop it
# from loading the program at all.
target_link_libraries(tavrin PRIVATE ${TAVRIN_CODEC_LIBS} comctl32 comdlg32 shell32 gdi32 user32 advapi32 kernel32)

# The Windows-side UI driver of the end-to-end suite.
file(GLOB UIDRIVER_SOURCES CONFIGURE_DEPENDS tests/e2e/driver/*.cpp)
if(UIDRIVER_SOURCES)
  # A console program, so its results reach the shell's standard output.
  add_executable(tavrin_uidriver ${UIDRIVER_SOURCES})
  target_include_directories(tavrin_uidriver PRIVATE src/resources)
  target_compile_definitions(tavrin_uidriver PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0501 _WIN32_IE=0x0600)
  target_compile_options(tavrin_uidriver PRIVATE -Wall -Wextra -Werror -O2)
  target_link_options(tavrin_uidriver PRIVATE -static -static-libgcc -static-libstdc++)
  target_link_libraries(tavrin_uidriver PRIVATE comctl32 shell32 user32 kernel32)
endif()
