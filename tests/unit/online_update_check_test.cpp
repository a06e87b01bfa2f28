// The update check against scripted servers on loopback: which box the user
// sees, what the server received, and what (if anything) the browser is given.
#include "online/update_check.h"
#include "online_server.h"
#include "sim_fixture.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kHost = TAVRIN_SERVER_HOST;
const std::string kConnectFailed =
    "Unable to connect to " + kHost + " to check for updates!  Check your internet connection";
const std::string kNoUpdates = "No updates were found for your operating system";
const std::string kUpdateAvailable = "An update is available! Would you like to go to the download page now?";
const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

enum class Box { None, ConnectFailed, NoUpdates, UpdateAvailable };

struct Outcome {
  std::vector<sim::Event> boxes;
  std::vector<sim::ShellLaunch> launches;
  ServerRecord server;
  sim::NetStats net;
  DWORD elapsedMs = 0;  // on the simulated clock
  int waits = 0;        // times the window was let answer between waits
};

int waitsSeen = 0;  // calls of CountWait during one check; test thread
void CountWait() { ++waitsSeen; }

class UpdateCheckTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::SetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
    owner_ = sim::MakeWindow("About");
    ResetNet();
  }

  // A fresh network between the cases of a table.
  static void ResetNet() {
    SimNetReset();
    sim::ClearEvents();
    // The 20-second deadline takes 200 ms here; the values asked for are still recorded.
    sim::SetNetTimeDivisor(100);
  }
  void TearDown() override {
    const sim::NetStats net = sim::Net();
    EXPECT_EQ(net.socketsOpen, 0) << "a socket was left for WSACleanup to release";
    EXPECT_EQ(net.startups, net.cleanups) << "WSAStartup and WSACleanup do not balance";
    EXPECT_EQ(sim::LoadedLibraries(), 0) << "WS2_32.DLL was not let go";
    SimNetReset();
    SimTest::TearDown();
  }

  // Maps the server host onto a scripted server, runs the check, collects what happened.
  Outcome Run(const ServerScript& script, int answer = IDYES, bool mapHost = true) {
    LoopbackServer server;
    const uint16_t port = StartServer(server, script);
    EXPECT_NE(port, 0);
    if (mapHost) sim::MapHost(kHost, port);
    sim::SetMessageBoxHandler([answer](const sim::Event& box) { return (box.style & 0xF) == MB_YESNO ? answer : IDOK; });
    waitsSeen = 0;
    const DWORD start = GetTickCount();
    CheckForUpdates("Tavrin", "1.6", owner_, 1, CountWait);
    Outcome outcome;
    outcome.elapsedMs = GetTickCount() - start;
    outcome.waits = waitsSeen;
    outcome.server = StopServer(server);
    for (const sim::Event& event : sim::Events()) {
      if (event.kind == "MessageBox") outcome.boxes.push_back(event);
    }
    outcome.launches = sim::ShellLaunches();
    outcome.net = sim::Net();
    return outcome;
  }

  static ServerScript Reply(const std::string& body) {
    ServerScript script;
    script.replyChunks.push_back(kHead + body);
    return script;
  }

  // Exactly one box, the expected one, owned by the About box.
  void ExpectBox(const Outcome& outcome, Box expected, const std::string& label,
                 const std::string& linkHost = "dl.example.test") {
    ASSERT_EQ(outcome.boxes.size(), 1u) << label;
    const sim::Event& box = outcome.boxes[0];
    EXPECT_EQ(box.window, owner_) << label;
    EXPECT_FALSE(box.wide) << label;
    switch (expected) {
      case Box::ConnectFailed:
        EXPECT_EQ(box.text, kConnectFailed) << label;
        EXPECT_EQ(box.caption, "Unable to connect") << label;
        EXPECT_EQ(box.style, 0x10u) << label;
        break;
      case Box::NoUpdates:
        EXPECT_EQ(box.text, kNoUpdates) << label;
        EXPECT_EQ(box.caption, "No Updates Found") << label;
        EXPECT_EQ(box.style, 0x40u) << label;
        break;
      case Box::UpdateAvailable:
        // The question names the host that Yes leads to.
        EXPECT_EQ(box.text, kUpdateAvailable + "\r\nThe download page is on " + linkHost + ".") << label;
        EXPECT_EQ(box.caption, "Update Available") << label;
        EXPECT_EQ(box.style, 0x44u) << label;
        break;
      case Box::None:
        ADD_FAILURE() << label;
        break;
    }
  }

  HWND owner_ = nullptr;
};

TEST_F(UpdateCheckTest, SendsOneHttp10RequestWithTheFullUrlAndOnlyTheHostHeader) {
  const Outcome outcome = Run(Reply("<new>false</new>"));
  const std::string expected = "GET http://" + kHost +
                               "/updates.php?ProgramName=Tavrin&MyVersion=1.6&OSVersion=Windows%20NT%206.1 HTTP/1.0\r\n"
                               "Host: " + kHost + "\r\n\r\n";
  EXPECT_EQ(outcome.server.request, expected);
  EXPECT_EQ(outcome.server.connections, 1);
  ASSERT_EQ(outcome.net.lookupNames.size(), 1u);
  EXPECT_EQ(outcome.net.lookupNames[0], kHost);
  ASSERT_EQ(outcome.net.connects.size(), 1u);
  EXPECT_EQ(outcome.net.connects[0].family, AF_INET);
  EXPECT_EQ(outcome.net.connects[0].port, 80);
  EXPECT_EQ(outcome.net.connects[0].address, 0x7F000001u);
  EXPECT_EQ(outcome.net.connects[0].nameLength, 16);
  ASSERT_EQ(outcome.net.socketFlags.size(), 1u);
  EXPECT_EQ(outcome.net.socketFlags[0], WSA_FLAG_OVERLAPPED);
  ExpectBox(outcome, Box::NoUpdates, "false");
}

TEST_F(UpdateCheckTest, RepliesGiveTheirBoxAndLaunchOnlyWebLinks) {
  struct Case {
    const char* label;
    std::vector<std::string> chunks;  // after the status line and headers
    Box box;
    std::string launch;               // empty: nothing may be launched
    std::string linkHost = "dl.example.test";
    std::string head = kHead;         // the status line and headers
  };
  const std::string link = "http://dl.example.test/tavrin-1.7.zip";
  const Case cases[] = {
      {"update", {"<new>true</new><link>" + link + "</link>"}, Box::UpdateAvailable, link},
      {"TRUE in capitals", {"<new>TRUE</new><link>" + link + "</link>"}, Box::UpdateAvailable, link},
      {"https, scheme in capitals", {"<new>True</new><link>HTTPS://dl.example.test/a</link>"}, Box::UpdateAvailable,
       "HTTPS://dl.example.test/a"},
      {"tags split across packets", {"<new>tr", "ue</new><li", "nk>" + link + "</li", "nk>"}, Box::UpdateAvailable,
       link},
      {"empty new", {"<new></new><link>" + link + "</link>"}, Box::NoUpdates, ""},
      {"partial new", {"<new>tr</new><link>" + link + "</link>"}, Box::NoUpdates, ""},
      {"longer new", {"<new>trueish</new><link>" + link + "</link>"}, Box::NoUpdates, ""},
      {"new without link", {"<new>true</new>"}, Box::NoUpdates, ""},
      {"error page", {"<html><body>404 Not Found</body></html>"}, Box::ConnectFailed, ""},
      {"empty body", {""}, Box::ConnectFailed, ""},
      // Links that would make the shell start a program or open a share.
      {"local program", {"<new>true</new><link>C:\\Windows\\System32\\calc.exe</link>"}, Box::NoUpdates, ""},
      {"network share", {"<new>true</new><link>\\\\evil.test\\share\\setup.exe</link>"}, Box::NoUpdates, ""},
      {"file scheme", {"<new>true</new><link>file:///C:/Windows/System32/calc.exe</link>"}, Box::NoUpdates, ""},
      {"script scheme", {"<new>true</new><link>javascript:alert(1)</link>"}, Box::NoUpdates, ""},
      {"lookalike scheme", {"<new>true</new><link>httpx://dl.example.test/</link>"}, Box::NoUpdates, ""},
      {"no host", {"<new>true</new><link>http://</link>"}, Box::NoUpdates, ""},
      {"quote breaks out", {"<new>true</new><link>http://a.test/\" --evil</link>"}, Box::NoUpdates, ""},
      {"space inside", {"<new>true</new><link>http://a.test/a b</link>"}, Box::NoUpdates, ""},
      // The value stops two bytes before the inner "link", leaving the bare scheme.
      {"link named in the path", {"<new>true</new><link>http://link.test/x</link>"}, Box::NoUpdates, ""},
      // The browser goes to the host after any user part, whatever the port.
      {"a user part before the host", {"<new>true</new><link>http://dl.example.test@evil.test:8080/a</link>"},
       Box::UpdateAvailable, "http://dl.example.test@evil.test:8080/a", "evil.test"},
      // A status other than 200 is no answer, whatever the body says.
      {"status 404", {"<new>true</new><link>" + link + "</link>"}, Box::ConnectFailed, "", "",
       "HTTP/1.0 404 Not Found\r\n\r\n"},
      {"status 500", {"<new>false</new>"}, Box::ConnectFailed, "", "", "HTTP/1.1 500 Internal Server Error\r\n\r\n"},
      {"status 2000", {"<new>false</new>"}, Box::ConnectFailed, "", "", "HTTP/1.0 2000 OK\r\n\r\n"},
      {"no status line", {"<new>false</new>"}, Box::ConnectFailed, "", "", ""},
      {"status 200 of HTTP/1.1", {"<new>false</new>"}, Box::NoUpdates, "", "", "HTTP/1.1 200 OK\r\n\r\n"},
  };
  for (const Case& c : cases) {
    ResetNet();
    ServerScript script;
    script.replyChunks = c.chunks;
    script.replyChunks[0] = c.head + script.replyChunks[0];
    script.chunkPauseMs = c.chunks.size() > 1 ? 20 : 0;
    const Outcome outcome = Run(script);
    ExpectBox(outcome, c.box, c.label, c.linkHost);
    if (c.launch.empty()) {
      EXPECT_TRUE(outcome.launches.empty()) << c.label << ": launched " << outcome.launches[0].file;
    } else {
      ASSERT_EQ(outcome.launches.size(), 1u) << c.label;
      EXPECT_EQ(outcome.launches[0].file, c.launch) << c.label;
      EXPECT_EQ(outcome.launches[0].verb, "open") << c.label;
      EXPECT_EQ(outcome.launches[0].owner, owner_) << c.label;
      EXPECT_FALSE(outcome.launches[0].hasParameters) << c.label;
      EXPECT_FALSE(outcome.launches[0].hasDirectory) << c.label;
      EXPECT_EQ(outcome.launches[0].show, SW_SHOWNORMAL) << c.label;
    }
    EXPECT_EQ(outcome.net.socketsOpen, 0) << c.label;
    EXPECT_EQ(outcome.net.startups, 1) << c.label;
    EXPECT_EQ(outcome.net.cleanups, 1) << c.label;
  }
}

TEST_F(UpdateCheckTest, DecliningTheUpdateLaunchesNothing) {
  const Outcome outcome = Run(Reply("<new>true</new><link>http://dl.example.test/a</link>"), IDNO);
  ExpectBox(outcome, Box::UpdateAvailable, "declined");
  EXPECT_TRUE(outcome.launches.empty());
}

TEST_F(UpdateCheckTest, LaunchesTheLinkOnlyAfterTheUserSaysYes) {
  Run(Reply("<new>true</new><link>http://dl.example.test/a</link>"));
  std::vector<std::string> order;
  for (const sim::Event& event : sim::Events()) {
    if (event.kind == "MessageBox" || event.kind == "ShellExecute") order.push_back(event.kind);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"MessageBox", "ShellExecute"}));
}

TEST_F(UpdateCheckTest, ReadsOnlyTheFirst4096BytesOfAReply) {
  struct Case { const char* label; std::string body; Box box; };
  const std::string pad(5000, '.');
  const Case cases[] = {
      {"both tags beyond", pad + "<new>true</new><link>http://dl.example.test/a</link>", Box::ConnectFailed},
      {"link beyond", "<new>true</new>" + pad + "<link>http://dl.example.test/a</link>", Box::NoUpdates},
  };
  for (const Case& c : cases) {
    ResetNet();
    const Outcome outcome = Run(Reply(c.body));
    ExpectBox(outcome, c.box, c.label);
    EXPECT_TRUE(outcome.launches.empty()) << c.label;
  }
}

TEST_F(UpdateCheckTest, AFullBufferEndsTheReplyWithoutWaitingForTheServer) {
  // Exactly 4096 bytes with the tags inside, and the server then keeps quiet.
  std::string reply = kHead + "<new>true</new><link>http://dl.example.test/a</link>";
  reply.append(4096 - reply.size(), ' ');
  ServerScript script;
  script.replyChunks.push_back(reply);
  script.holdOpen = true;
  const Outcome outcome = Run(script);
  ExpectBox(outcome, Box::UpdateAvailable, "full buffer");
  EXPECT_EQ(outcome.net.timedOutReceives, 0);
  EXPECT_TRUE(outcome.server.clientClosedFirst);
}

TEST_F(UpdateCheckTest, OneDeadlineEndsTheExchangeAndWhatArrivedBeforeItIsRead) {
  struct Case { const char* label; std::vector<std::string> chunks; uint32_t pauseMs; Box box; bool launch; };
  const std::string update = kHead + "<new>true</new><link>http://dl.example.test/a</link>";
  std::vector<std::string> trickle;  // one byte every 14 s (140 ms here), for far longer than the deadline
  for (char c : update) trickle.push_back(std::string(1, c));
  const Case cases[] = {
      {"never answers", {}, 0, Box::ConnectFailed, false},
      {"one byte every 14 s", trickle, 140, Box::ConnectFailed, false},
      {"whole reply, then silence", {update}, 0, Box::UpdateAvailable, true},
      {"no update, then silence", {kHead + "<new>false</new>"}, 0, Box::NoUpdates, false},
      // Told there is an update but not where: not an answer.
      {"cut off inside the link", {kHead + "<new>true</new><link>http://dl.exa"}, 0, Box::ConnectFailed, false},
  };
  for (const Case& c : cases) {
    ResetNet();
    ServerScript script;
    script.replyChunks = c.chunks;
    script.chunkPauseMs = c.pauseMs;
    script.holdOpen = true;
    const Outcome outcome = Run(script);
    ExpectBox(outcome, c.box, c.label);
    EXPECT_EQ(outcome.launches.size(), c.launch ? 1u : 0u) << c.label;
    EXPECT_TRUE(outcome.server.clientClosedFirst) << c.label << ": the check waited for the server";
    EXPECT_GE(outcome.elapsedMs, kExchangeDeadlineMs) << c.label;
    EXPECT_LT(outcome.elapsedMs, 2 * kExchangeDeadlineMs) << c.label << ": the deadline did not hold";
    EXPECT_GT(outcome.waits, 0) << c.label << ": the window was never let answer";
    for (uint32_t bound : outcome.net.selectBoundsMs) EXPECT_LE(bound, kWaitSliceMs) << c.label;
  }
}

TEST_F(UpdateCheckTest, AConnectionThatNeverCompletesIsGivenUpAtTheDeadline) {
  sim::StallConnects(true);
  ServerScript script;
  script.replyChunks.push_back(kHead + "<new>true</new><link>http://dl.example.test/a</link>");
  const Outcome outcome = Run(script);
  ExpectBox(outcome, Box::ConnectFailed, "stalled connect");
  EXPECT_EQ(outcome.server.connections, 0);
  EXPECT_GE(outcome.elapsedMs, kExchangeDeadlineMs);
  EXPECT_LT(outcome.elapsedMs, 2 * kExchangeDeadlineMs);
  EXPECT_GT(outcome.waits, 0);
}

// The look-up runs on its own thread: a name server that answers late is
// waited for within the deadline with the window answering, and one that
// answers after it is abandoned at the deadline (its thread lets the library go).
TEST_F(UpdateCheckTest, ANameServerThatAnswersLateIsWaitedForOnlyUntilTheDeadline) {
  const struct {
    uint32_t delayMs;
    Box box;
  } rows[] = {{5000, Box::NoUpdates}, {60000, Box::ConnectFailed}};
  for (const auto& row : rows) {
    ResetNet();
    sim::DelayLookUps(row.delayMs);
    const Outcome outcome = Run(Reply("<new>false</new>"));
    ExpectBox(outcome, row.box, std::to_string(row.delayMs));
    EXPECT_GE(outcome.elapsedMs, std::min<DWORD>(row.delayMs, kExchangeDeadlineMs));
    EXPECT_LT(outcome.elapsedMs, kExchangeDeadlineMs + 2000) << "the deadline did not hold";
    EXPECT_GT(outcome.waits, 0) << "the window was not let answer while the name was looked up";
    // The abandoned look-up ends later on its own and lets networking and the library go.
    for (int i = 0; i < 200 && sim::Net().cleanups != sim::Net().startups; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(sim::Net().cleanups, sim::Net().startups);
  }
}

TEST_F(UpdateCheckTest, UnreachableServersEndInTheConnectionFailure) {
  struct Case { const char* label; bool listen; bool mapHost; const char* missing; int sockets; int startups; };
  const Case cases[] = {
      {"refused", false, true, "", 1, 1},
      {"name look-up fails", true, false, "", 0, 1},
      // A plain first release of the legacy family: Winsock 2 is an add-on there.
      {"Winsock without WSAConnect", true, true, "WSAConnect", 0, 0},
      {"no Winsock 2", true, true, "WS2_32.DLL", 0, 0},
  };
  for (const Case& c : cases) {  // a library taken away stays away for the cases after it
    ResetNet();
    if (std::string(c.missing) == "WS2_32.DLL") sim::RemoveLibrary(c.missing);
    if (std::string(c.missing) == "WSAConnect") sim::RemoveExport("WS2_32.DLL", c.missing);
    ServerScript script;
    script.listen = c.listen;
    const Outcome outcome = Run(script, IDYES, c.mapHost);
    ExpectBox(outcome, Box::ConnectFailed, c.label);
    EXPECT_EQ(outcome.server.connections, 0) << c.label;
    EXPECT_EQ(outcome.net.socketsCreated, c.sockets) << c.label;
    EXPECT_EQ(outcome.net.startups, c.startups) << c.label;
    EXPECT_EQ(outcome.net.cleanups, c.startups) << c.label;
    EXPECT_EQ(sim::LoadedLibraries(), 0) << c.label;
  }
}

TEST_F(UpdateCheckTest, FailedBufferAllocationEndsInTheConnectionFailureWithNothingLeft) {
  // One failure: the reply buffer is missing while the value buffer exists; two: both are.
  for (int failing = 1; failing <= 2; ++failing) {
    ResetNet();
    LoopbackServer server;
    sim::MapHost(kHost, StartServer(server, Reply("<new>true</new><link>http://dl.example.test/a</link>")));
    sim::FailHeapAllocs(failing);
    CheckForUpdates("Tavrin", "1.6", owner_, 1);
    const ServerRecord record = StopServer(server);
    ASSERT_EQ(sim::Events().size(), 1u) << failing;
    EXPECT_EQ(sim::Events()[0].text, kConnectFailed) << failing;
    EXPECT_EQ(record.connections, 0) << failing;
    EXPECT_EQ(sim::LiveHeapAllocs(), 0) << failing;
    EXPECT_TRUE(sim::ShellLaunches().empty()) << failing;
  }
}

TEST_F(UpdateCheckTest, LeavesNetworkingToTheCallerWhenAsked) {
  LoopbackServer server;
  sim::MapHost(kHost, StartServer(server, Reply("<new>false</new>")));
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
  CheckForUpdates("Tavrin", "1.6", owner_, 0);
  StopServer(server);
  sim::NetStats net = sim::Net();
  EXPECT_EQ(net.startups, 1);
  EXPECT_EQ(net.cleanups, 0);
  EXPECT_EQ(net.socketsOpen, 0);
  ASSERT_EQ(sim::Events().size(), 1u);
  EXPECT_EQ(sim::Events()[0].text, kNoUpdates);
  ASSERT_EQ(WSACleanup(), 0);
}

TEST_F(UpdateCheckTest, WithoutNetworkingStartedTheLookUpFails) {
  LoopbackServer server;
  sim::MapHost(kHost, StartServer(server, Reply("<new>true</new><link>http://dl.example.test/a</link>")));
  CheckForUpdates("Tavrin", "1.6", owner_, 0);
  const ServerRecord record = StopServer(server);
  EXPECT_EQ(record.connections, 0);
  ASSERT_EQ(sim::Events().size(), 1u);
  EXPECT_EQ(sim::Events()[0].text, kConnectFailed);
  EXPECT_TRUE(sim::ShellLaunches().empty());
}

}  // namespace
