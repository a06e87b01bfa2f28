// The operating-system name the server and the web pages receive.
#include "online/os_tag.h"
#include "sim_fixture.h"

#include <cstring>
#include <string>

namespace {

class OsTagTest : public SimTest {};

TEST_F(OsTagTest, NamesEachPlatformAndVersion) {
  struct Case { DWORD platform, major, minor; const char* expected; };
  const Case cases[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 4, 1, "Windows%2095"},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 9, "Windows%20Me"},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "Windows%2095"},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "Windows%2098"},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "Windows%20Me"},
      {VER_PLATFORM_WIN32_NT, 5, 1, "Windows%20NT%205.1"},
      {VER_PLATFORM_WIN32_NT, 6, 1, "Windows%20NT%206.1"},
      {VER_PLATFORM_WIN32_NT, 10, 0, "Windows%20NT%2010.0"},
      {VER_PLATFORM_WIN32s, 3, 10, "Windows 3.1"},
      {7, 1, 0, "Windows 3.1"},
  };
  for (const Case& c : cases) {
    sim::SetVersion(c.platform, c.major, c.minor, 1000);
    memset(osTag, 'Z', sizeof(osTag));
    BuildOsVersionTag();
    EXPECT_EQ(std::string(osTag), c.expected) << c.platform << ' ' << c.major << '.' << c.minor;
  }
}

TEST_F(OsTagTest, KeepsAnOverlongNtTagInsideItsBuffer) {
  sim::SetVersion(VER_PLATFORM_WIN32_NT, 12345678, 87654321, 1);
  memset(osTag, 'Z', sizeof(osTag));
  BuildOsVersionTag();
  ASSERT_NE(memchr(osTag, '\0', sizeof(osTag)), nullptr);
  EXPECT_EQ(std::string(osTag), std::string("Windows%20NT%2012345678.87654321").substr(0, kOsTagBytes - 1));
}

}  // namespace
