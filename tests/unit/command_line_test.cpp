#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/command_line.h"
#include "app/console_run.h"
#include "app/drive_refresh.h"
#include "disk/drive_list.h"
#include "job_fixture.h"

#include <string>
#include <vector>

namespace {

struct ParseRow {
  std::vector<std::wstring> words;
  Command command;
  char designator;
  const wchar_t* file;  // nullptr: none
  bool verify, trim, yes, quiet;
  const char* error;    // nullptr: accepted
  int32_t errorArgument;
  int8_t english = -1;  // --lang: -1 not given, 0 zh-CN, 1 en
};

const ParseRow kParseRows[] = {
    {{}, Command::Window, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"D:\\x\\disk.img"}, Command::Window, 0, L"D:\\x\\disk.img", true, false, false, false, nullptr, -1},
    {{L"--help"}, Command::Help, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"write", L"a.img", L"-h"}, Command::Help, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"/?"}, Command::Help, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"--VERSION"}, Command::Version, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"list"}, Command::List, 0, nullptr, true, false, false, false, nullptr, -1},
    {{L"LIST", L"--quiet"}, Command::List, 0, nullptr, true, false, false, true, nullptr, -1},
    {{L"write", L"a.img", L"e"}, Command::Write, 'E', L"a.img", true, false, false, false, nullptr, -1},
    {{L"write", L"a.img", L"E:", L"--no-verify", L"--yes"}, Command::Write, 'E', L"a.img", false, false, true, false, nullptr, -1},
    {{L"--yes", L"write", L"a.img", L"3", L"--verify"}, Command::Write, '3', L"a.img", true, false, true, false, nullptr, -1},
    {{L"write", L"a.img", L"\\\\.\\PhysicalDrive1"}, Command::Write, '1', L"a.img", true, false, false, false, nullptr, -1},
    {{L"write", L"--", L"-odd.img", L"\\\\.\\physicaldrive9"}, Command::Write, '9', L"-odd.img", true, false, false, false, nullptr, -1},
    {{L"create", L"1", L"out.img.gz", L"--trim"}, Command::Create, '1', L"out.img.gz", true, true, false, false, nullptr, -1},
    {{L"hash", L"a.img"}, Command::Hash, 0, L"a.img", true, false, false, false, nullptr, -1},
    {{L"check", L"2", L"--yes"}, Command::Check, '2', nullptr, true, false, true, false, nullptr, -1},
    {{L"restore", L"\\\\.\\PhysicalDrive2"}, Command::Restore, '2', nullptr, true, false, false, false, nullptr, -1},
    // Usage errors, each naming the word at fault.
    {{L"lsit", L"x"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_UNKNOWN_COMMAND, 0},
    {{L"--quiet"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NO_COMMAND, -1},
    {{L"write", L"a.img", L"E", L"--force"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_UNKNOWN_OPTION, 3},
    {{L"write", L"a.img"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_WRITE, -1},
    {{L"create", L"E", L"a.img", L"b.img"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_CREATE, 3},
    {{L"hash"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_HASH, -1},
    {{L"list", L"E"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_TOO_MANY_WORDS, 1},
    {{L"write", L"a.img", L"E", L"--trim"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_OPTION_NOT_HERE, 3},
    {{L"hash", L"a.img", L"--yes"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_OPTION_NOT_HERE, 2},
    {{L"write", L"a.img", L"E", L"--verify", L"--no-verify"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_VERIFY_BOTH, -1},
    {{L"write", L"a.img", L"10"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NOT_A_DISK, 2},
    {{L"write", L"a.img", L"EF:"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NOT_A_DISK, 2},
    {{L"create", L"\\\\.\\PhysicalDrive12", L"a.img"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NOT_A_DISK, 1},
    {{L"check", L"E:\\"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NOT_A_DISK, 1},
    // Several disks are read, and refused as a whole until they can be written at once.
    {{L"write", L"a.img", L"E", L"F:", L"2"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_SEVERAL_DISKS, 3},
    {{L"write", L"a.img", L"E", L"F", L"zz"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NOT_A_DISK, 4},
    // --lang: for any command, or alone (the window), with a file to show or not.
    {{L"--lang", L"en"}, Command::Window, 0, nullptr, true, false, false, false, nullptr, -1, 1},
    {{L"x.img", L"--lang", L"ZH-cn"}, Command::Window, 0, L"x.img", true, false, false, false, nullptr, -1, 0},
    {{L"list", L"--lang", L"en"}, Command::List, 0, nullptr, true, false, false, false, nullptr, -1, 1},
    {{L"--lang", L"en", L"--help"}, Command::Help, 0, nullptr, true, false, false, false, nullptr, -1, 1},
    {{L"write", L"a.img", L"E", L"--lang", L"zh-CN", L"--yes"}, Command::Write, 'E', L"a.img", true, false, true, false, nullptr, -1, 0},
    {{L"list", L"--lang", L"fr"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_LANGUAGE, 2},
    {{L"list", L"--lang"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_LANGUAGE, -1},
    {{L"--lang", L"en", L"--quiet"}, Command::Window, 0, nullptr, true, false, false, false, USAGE_NO_COMMAND, -1},
};

TEST(CommandLineTest, ReadsEveryFormAndRefusesWhatItCannotTake) {
  for (const ParseRow& row : kParseRows) {
    std::vector<const wchar_t*> words;
    for (const std::wstring& word : row.words) words.push_back(word.c_str());
    std::string shown;
    for (const std::wstring& word : row.words) shown += sim::Utf8(word.c_str()) + " ";
    const CommandLine line = ParseCommandLine(static_cast<uint32_t>(words.size()), words.data());
    if (row.error != nullptr) {
      EXPECT_EQ(std::string(line.error != nullptr ? line.error : "(accepted)"), row.error) << shown;
      EXPECT_EQ(line.errorArgument, row.errorArgument) << shown;
      continue;
    }
    EXPECT_EQ(line.error, nullptr) << shown << (line.error != nullptr ? line.error : "");
    EXPECT_EQ(line.command, row.command) << shown;
    EXPECT_EQ(line.designator, row.designator) << shown;
    EXPECT_EQ(line.file == nullptr ? std::wstring(L"-") : std::wstring(line.file),
              row.file == nullptr ? std::wstring(L"-") : std::wstring(row.file))
        << shown;
    EXPECT_EQ(line.verify, row.verify) << shown;
    EXPECT_EQ(line.trim, row.trim) << shown;
    EXPECT_EQ(line.yes, row.yes) << shown;
    EXPECT_EQ(line.quiet, row.quiet) << shown;
    EXPECT_EQ(line.languageGiven, row.english >= 0) << shown;
    if (row.english >= 0) EXPECT_EQ(line.english, row.english == 1) << shown;
  }
}

TEST(CommandLineTest, SplitsAsTheRuntimeBuildsArgv) {
  const struct {
    const wchar_t* text;
    std::vector<std::wstring> words;
  } rows[] = {
      {L"\"C:\\Program Files\\tavrin.exe\" write a.img E:", {L"C:\\Program Files\\tavrin.exe", L"write", L"a.img", L"E:"}},
      {L"tavrin.exe  \"D:\\my images\\x.img\"\t", {L"tavrin.exe", L"D:\\my images\\x.img"}},
      {L"t \\\\.\\PhysicalDrive1 a\\\\\"b c\" d\\\"e", {L"t", L"\\\\.\\PhysicalDrive1", L"a\\b c", L"d\"e"}},
      {L"t \"\" x", {L"t", L"", L"x"}},
      {L"C:\\dir\\tavrin.exe", {L"C:\\dir\\tavrin.exe"}},
  };
  for (const auto& row : rows) {
    std::wstring text = row.text;
    wchar_t* words[kMaxArguments];
    const uint32_t count = SplitCommandLine(&text[0], words, kMaxArguments);
    ASSERT_EQ(count, row.words.size()) << sim::Utf8(row.text);
    for (uint32_t i = 0; i < count; ++i) EXPECT_EQ(std::wstring(words[i]), row.words[i]) << sim::Utf8(row.text);
  }
}

constexpr uint64_t kDiskBytes = 4u << 20;
constexpr const char* kDriveE = "\\\\.\\E:";

// The job table's rows, driven through the command line as a console runs it.
class CommandLineJobTest : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    quitWhenIdle.store(0);
    runningWorkers.store(0);
    driveEntryCount = 0;
    driveListBox = nullptr;
  }

  int Run(std::vector<std::wstring> words) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& word : words) pointers.push_back(word.c_str());
    const CommandLine line = ParseCommandLine(static_cast<uint32_t>(pointers.size()), pointers.data());
    return RunCommandLine(line, pointers.data());
  }

  std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
};

TEST_F(CommandLineJobTest, WritesAskAndEndWithTheirExitCodes) {
  struct Row {
    const char* name;
    std::vector<std::wstring> options;
    const char* typed;   // nullptr: no console on standard input
    bool dropWrite;      // the device loses a block silently
    bool badWrite;       // the device fails a write
    int exitCode;
    bool written;        // the disk holds the image afterwards
    const char* said;    // a sentence standard output holds
  };
  const Row rows[] = {
      {"agreed beforehand", {L"--yes"}, nullptr, false, false, kExitCompleted, true, "Target: Drive E:"},
      {"typed yes", {}, "yes\r\n", false, false, kExitCompleted, true, CONSOLE_TYPE_YES},
      {"typed no", {}, "no\r\n", false, false, kExitRefused, false, CONSOLE_TYPE_YES},
      {"no console to ask", {}, nullptr, false, false, kExitRefused, false, CONSOLE_NO_CONSOLE_TO_ASK},
      {"a block lost", {L"--yes"}, nullptr, true, false, kExitMismatch, false, ""},
      {"a block lost, unverified", {L"--yes", L"--no-verify"}, nullptr, true, false, kExitCompleted, false, ""},
      {"the disk-write error", {L"--yes"}, nullptr, false, true, kExitFailed, false, "occured while writting to disk"},
  };
  const std::vector<uint8_t> image = ImageBytes(2u << 20);
  for (const Row& row : rows) {
    FreshJob();
    sim::DeviceSpec disk = Disk(kDiskBytes);
    if (row.dropWrite) disk.droppedWriteSectors.insert(3000);
    if (row.badWrite) disk.badWriteSectors[3000] = ERROR_CRC;
    sim::AddDevice(kDriveE, disk);
    WriteHostFile(imagePath_, image);
    if (row.typed != nullptr) sim::TypeIntoConsole(row.typed);
    std::vector<std::wstring> words = {L"write", Wide(imagePath_), L"E:"};
    words.insert(words.end(), row.options.begin(), row.options.end());
    EXPECT_EQ(Run(words), row.exitCode) << row.name << ": " << sim::StdOut();
    EXPECT_EQ(sim::DeviceBytes(kDriveE, 0, image.size()) == image, row.written) << row.name;
    if (row.exitCode == kExitRefused) EXPECT_EQ(sim::Device(kDriveE).bytesWritten, 0u) << row.name;
    EXPECT_NE(sim::StdOut().find(row.said), std::string::npos) << row.name << ": " << sim::StdOut();
    EXPECT_TRUE(EventsOfKind("MessageBox").empty()) << row.name << ": a box was shown on the command line";
    EXPECT_EQ(consoleAnswer, nullptr) << row.name;
  }
}

TEST_F(CommandLineJobTest, CreateHashAndUsageReportOnTheirStreams) {
  sim::AddDevice(kDriveE, Disk(kDiskBytes));
  const std::string created = TempPath("made.img");
  EXPECT_EQ(Run({L"create", L"e", Wide(created), L"--quiet"}), kExitCompleted) << sim::StdOut();
  EXPECT_EQ(ReadHostFile(created), DiskPatternBytes(0, kDiskBytes));
  // An existing file is replaced only with consent.
  EXPECT_EQ(Run({L"create", L"e", Wide(created)}), kExitRefused);
  EXPECT_EQ(Run({L"hash", Wide(created)}), kExitCompleted);
  EXPECT_NE(sim::StdOut().find("SHA-256\t"), std::string::npos) << sim::StdOut();
  const std::string before = sim::StdOut();
  EXPECT_EQ(Run({L"write", L"x.img", L"E", L"F"}), kExitUsage);
  EXPECT_NE(sim::StdErr().find("not available yet"), std::string::npos) << sim::StdErr();
  EXPECT_NE(sim::StdErr().find("\"F\""), std::string::npos) << sim::StdErr();
  EXPECT_EQ(sim::StdOut(), before) << "a usage error went to standard output";
}

TEST_F(CommandLineJobTest, CtrlCCancelsTheRunningJobAndExitsCancelled) {
  sim::DeviceSpec disk = Disk(kDiskBytes);
  sim::AddDevice(kDriveE, disk);
  WriteHostFile(imagePath_, ImageBytes(3u << 20));
  bool pressed = false;
  // The first transfer presses Ctrl+C, as a user would while the write runs.
  sim::SetDeviceTransferHook([&](const std::string&, uint64_t offset, DWORD, bool write) {
    if (write && offset > 0 && !pressed) pressed = sim::PressCtrlC();
  });
  EXPECT_EQ(Run({L"write", Wide(imagePath_), L"E", L"--yes"}), kExitCancelled) << sim::StdOut();
  EXPECT_TRUE(pressed) << "Ctrl+C found no handler while the job ran";
  EXPECT_EQ(sim::Device(kDriveE).locksHeld, 0) << "the disk stayed locked";
  sim::SetDeviceTransferHook(nullptr);
  EXPECT_FALSE(sim::PressCtrlC()) << "the handler outlived the command";
}

}  // namespace
