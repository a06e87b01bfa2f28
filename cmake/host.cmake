# Native build of the portable code against the simulated Win32 layer, and its tests.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

set(HOST_SOURCES ${TAVRIN_SOURCES})
list(FILTER HOST_SOURCES EXCLUDE REGEX "${TAVRIN_WINDOWS_ONLY_REGEX}")
file(GLOB SIM_SOURCES CONFIGURE_DEPENDS tests/sim/*.cpp)

if(TAVRIN_SANITIZE STREQUAL "address")
  set(SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(TAVRIN_SANITIZE STREQUAL "thread")
  set(SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
else()
  set(SAN_FLAGS "")
endif()

# The product code and the simulation call each other, so they form one library.
add_library(tavrin_host STATIC ${HOST_SOURCES} ${SIM_SOURCES})
target_include_directories(tavrin_host PUBLIC src tests/sim)
target_compile_definitions(tavrin_host PUBLIC TAVRIN_SERVER_HOST="${TAVRIN_SERVER_HOST}")
target_compile_options(tavrin_host PRIVATE ${TAVRIN_WARNINGS} ${SAN_FLAGS})
target_link_options(tavrin_host PUBLIC ${SAN_FLAGS})
target_link_libraries(tavrin_host PUBLIC ${TAVRIN_CODEC_LIBS} Threads::Threads)

file(GLOB UNIT_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tavrin_tests ${UNIT_SOURCES})
target_compile_options(tavrin_tests PRIVATE ${SAN_FLAGS} -Wall -Wextra)
target_link_libraries(tavrin_tests PRIVATE tavrin_host GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(tavrin_tests DISCOVERY_TIMEOUT 60)

if(TAVRIN_FUZZ)
  # Coverage of the product code is what guides the fuzzers into it.
  target_compile_options(tavrin_host PRIVATE -fsanitize=fuzzer-no-link)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS tests/fuzz/*.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE tavrin_host)
  endforeach()
endif()
