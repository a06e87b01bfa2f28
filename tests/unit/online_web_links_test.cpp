// The pages the About box and the Help button open in the browser.
#include "online/web_links.h"
#include "resources/resource_ids.h"
#include "sim_fixture.h"

#include <string>
#include <vector>

namespace {

const std::string kSite = "http://" TAVRIN_SERVER_HOST;

class WebLinksTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SimNetReset();
    sim::SetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
    window_ = sim::MakeWindow("About");
  }
  void TearDown() override {
    SimNetReset();
    SimTest::TearDown();
  }
  HWND window_ = nullptr;
};

TEST_F(WebLinksTest, EachAboutCommandOpensItsPage) {
  struct Case { int32_t id; std::string url; };
  const Case cases[] = {
      {IDC_ABOUT_CONTACT, kSite + "/contact.php"},
      {IDC_ABOUT_DONATE, kSite + "/donate.php?AppID=Tavrin&VersionID=1.6&OSID=Windows"},
      {IDC_ABOUT_CUSTOM, kSite + "/custom.php?AppID=Tavrin&VersionID=1.6&OSID=Windows"},
      {IDC_ABOUT_PICTURE, kSite + "/featured.php?AppID=Tavrin&VersionID=1.6&OSID=Windows%20NT%206.1"},
  };
  for (const Case& c : cases) {
    SimNetReset();
    HandleAboutCommand(window_, c.id);
    const std::vector<sim::ShellLaunch> launches = sim::ShellLaunches();
    ASSERT_EQ(launches.size(), 1u) << c.id;
    EXPECT_EQ(launches[0].file, c.url) << c.id;
    EXPECT_EQ(launches[0].verb, "open") << c.id;
    EXPECT_EQ(launches[0].owner, window_) << c.id;
    EXPECT_FALSE(launches[0].hasParameters) << c.id;
    EXPECT_FALSE(launches[0].hasDirectory) << c.id;
    EXPECT_EQ(launches[0].show, SW_SHOWNORMAL) << c.id;
  }
}

TEST_F(WebLinksTest, KeysThatAreNotCommandsOfTheBoxDoNothing) {
  for (int32_t id : {IDOK, IDCANCEL, 0, 1008, 1013, 1044, 1046}) {
    HandleAboutCommand(window_, id);
  }
  EXPECT_TRUE(sim::ShellLaunches().empty());
  EXPECT_TRUE(sim::Events().empty());
  EXPECT_EQ(sim::Net().lookups, 0);
}

TEST_F(WebLinksTest, TaggedPagesCarryTheCurrentOsTag) {
  sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
  HWND mainWindowHandle = sim::MakeWindow("Main");
  OpenHelpLink(mainWindowHandle);
  HandleAboutCommand(window_, IDC_ABOUT_PICTURE);
  const std::vector<sim::ShellLaunch> launches = sim::ShellLaunches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].file, kSite + "/support.php?AppID=Tavrin&VersionID=1.6&OSID=Windows%20Me");
  EXPECT_EQ(launches[0].owner, mainWindowHandle);
  EXPECT_EQ(launches[1].file, kSite + "/featured.php?AppID=Tavrin&VersionID=1.6&OSID=Windows%20Me");
  EXPECT_EQ(launches[1].owner, window_);
}

TEST_F(WebLinksTest, WithoutMemoryForTheTextTaggedPagesFallBackToTheFixedWord) {
  sim::FailHeapAllocs(1);
  OpenHelpLink(window_);
  sim::FailHeapAllocs(1);
  HandleAboutCommand(window_, IDC_ABOUT_PICTURE);
  const std::vector<sim::ShellLaunch> launches = sim::ShellLaunches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].file, kSite + "/support.php?AppID=Tavrin&VersionID=1.6&OSID=Windows");
  EXPECT_EQ(launches[1].file, kSite + "/featured.php?AppID=Tavrin&VersionID=1.6&OSID=Windows");
}

TEST_F(WebLinksTest, UpdateButtonRunsTheCheckWithTheAboutBoxAsOwner) {
  // The reserved default host never resolves: the check reports the failure.
  HandleAboutCommand(window_, IDC_ABOUT_UPDATE);
  const sim::NetStats net = sim::Net();
  ASSERT_EQ(net.lookupNames.size(), 1u);
  EXPECT_EQ(net.lookupNames[0], TAVRIN_SERVER_HOST);
  EXPECT_EQ(net.startups, 1);
  EXPECT_EQ(net.cleanups, 1);
  const std::vector<sim::Event> events = sim::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, "MessageBox");
  EXPECT_EQ(events[0].window, window_);
  EXPECT_EQ(events[0].caption, "Unable to connect");
  EXPECT_TRUE(sim::ShellLaunches().empty());
}

}  // namespace
