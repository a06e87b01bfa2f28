// The two languages: which one the window speaks, that every text has both and
// the English has no Chinese in it, and the settings that remember it (with the
// verify box, the Browse folders and the window's place) in the registry or in
// a tavrin.ini beside the program.
#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/file_drop.h"
#include "app/image_path.h"
#include "app/language.h"
#include "app/settings.h"
#include "app/tool_tips.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "online/online_texts.h"
#include "resources/resource_ids.h"
#include "sim_fixture.h"

#include <cstring>
#include <cwchar>
#include <set>
#include <string>

namespace {

const char* kKey = "Software\\Tavrin";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
std::vector<uint8_t> Dword(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

bool HasChinese(const wchar_t* text) {
  for (; *text != 0; ++text) {
    const uint32_t c = static_cast<uint32_t>(*text);
    if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF)) return true;
  }
  return false;
}

bool Ascii(const char* text) {
  for (; *text != '\0'; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

class LanguageTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    FindSettingsStore();
  }
  void TearDown() override {
    // The texts are process-wide: the other tests expect today's.
    ApplyLanguage(kLanguageChinese);
    EXPECT_EQ(sim::OpenRegistryKeys(), 0) << "a registry key was left open";
    sim::Reset();
    FindSettingsStore();
    SimTest::TearDown();
  }
};

TEST_F(LanguageTest, TheLanguageFollowsTheSettingThenTheSystemsInterfaceLanguage) {
  struct Case {
    const char* label;
    std::optional<sim::RegistryValue> setting;  // HKCU\Software\Tavrin Language
    WORD uiLanguage, langId;
    bool uiCallMissing;  // the legacy family and NT 4.0 lack GetUserDefaultUILanguage
    UiLanguage want;
  } cases[] = {
      {"Chinese interface", std::nullopt, 0x0804, 0x0409, false, kLanguageChinese},
      {"Taiwanese interface", std::nullopt, 0x0404, 0x0404, false, kLanguageChinese},
      {"English interface on a Chinese locale", std::nullopt, 0x0409, 0x0804, false, kLanguageEnglish},
      {"German interface", std::nullopt, 0x0407, 0x0407, false, kLanguageEnglish},
      {"legacy family, Chinese locale", std::nullopt, 0x0409, 0x0804, true, kLanguageChinese},
      {"legacy family, Western locale", std::nullopt, 0x0804, 0x0409, true, kLanguageEnglish},
      {"setting en over Chinese", sim::RegistryValue{REG_SZ, Bytes(std::string("en") + '\0')}, 0x0804, 0x0804, false,
       kLanguageEnglish},
      {"setting zh-CN over English", sim::RegistryValue{REG_SZ, Bytes(std::string("zh-CN") + '\0')}, 0x0409, 0x0409,
       false, kLanguageChinese},
      {"setting without its NUL", sim::RegistryValue{REG_SZ, Bytes("zh-CN")}, 0x0409, 0x0409, false, kLanguageChinese},
      {"setting in another case", sim::RegistryValue{REG_SZ, Bytes(std::string("EN") + '\0')}, 0x0804, 0x0804, false,
       kLanguageEnglish},
      {"unknown setting", sim::RegistryValue{REG_SZ, Bytes(std::string("fr") + '\0')}, 0x0804, 0x0804, false,
       kLanguageChinese},
      {"setting of the wrong type", sim::RegistryValue{REG_DWORD, Dword(1)}, 0x0804, 0x0804, false, kLanguageChinese},
      {"setting too long", sim::RegistryValue{REG_SZ, Bytes(std::string(300, 'e') + '\0')}, 0x0409, 0x0409, false,
       kLanguageEnglish},
  };
  for (const Case& c : cases) {
    sim::Reset();
    FindSettingsStore();
    if (c.setting) sim::SetRegistryValue(kKey, "Language", c.setting->type, c.setting->bytes);
    sim::SetUserLanguages(c.uiLanguage, c.langId);
    if (c.uiCallMissing) sim::RemoveExport("KERNEL32.DLL", "GetUserDefaultUILanguage");
    EXPECT_EQ(StartLanguage(), c.want) << c.label;
    EXPECT_EQ(sim::OpenRegistryKeys(), 0) << c.label;
  }
}

TEST_F(LanguageTest, TheMenuSwitchesAndIsRememberedTheCommandLineIsNot) {
  sim::SetUserLanguages(0x0804, 0x0804);
  ApplyLanguage(StartLanguage());
  EXPECT_STREQ(TAB_CAPTION_WRITE, L"映像写入");
  SwitchLanguage(kLanguageEnglish);
  EXPECT_STREQ(TAB_CAPTION_WRITE, L"Write Image");
  EXPECT_STREQ(kWriteCompletedText, L"Image Write Completed");  // the worker's texts follow
  const auto stored = sim::RegistryValueOf(kKey, "Language");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored->bytes, Bytes(std::string("en") + '\0'));
  EXPECT_EQ(StartLanguage(), kLanguageEnglish) << "the next start";

  struct Name {
    const char* name;
    bool taken;
    UiLanguage after;
  } names[] = {{"zh-CN", true, kLanguageChinese}, {"de", false, kLanguageChinese}, {"", false, kLanguageChinese},
               {"en", true, kLanguageEnglish}, {"english", false, kLanguageEnglish}, {"ZH-cn", true, kLanguageChinese}};
  for (const Name& n : names) {
    EXPECT_EQ(ChooseLanguageByName(n.name), n.taken) << n.name;
    EXPECT_EQ(uiLanguage, n.after) << n.name;
  }
  EXPECT_EQ(sim::RegistryValueOf(kKey, "Language")->bytes, Bytes(std::string("en") + '\0'))
      << "the command line's choice is not remembered";

  // The tips registered anew after a switch: during a job Start still cancels it.
  mainWindow = sim::MakeWindow("main");
  toolTipWindow = sim::MakeWindow("tips");
  const LPARAM start = reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, IDC_START));
  struct Tip {
    UiLanguage language;
    uint8_t busy;
    const char* want;
  } tips[] = {{kLanguageEnglish, 1, "Cancel imaging process"}, {kLanguageChinese, 1, "Cancel imaging process"},
              {kLanguageEnglish, 0, "Start transfer"}};
  for (const Tip& t : tips) {
    SwitchLanguage(t.language);
    jobState.busy = t.busy;
    sim::ClearEvents();
    RegisterToolTips(mainWindow);
    std::string got = "(none)";
    for (const sim::Event& e : sim::Events()) {
      if (e.kind == "SendMessage" && e.message == TTM_ADDTOOLA && e.lParam == start) got = e.text;
    }
    EXPECT_EQ(got, t.want) << "busy " << int(t.busy) << ", language " << int(t.language);
  }
  jobState.busy = 0;
}

TEST_F(LanguageTest, EveryTextHasBothLanguagesAndTheEnglishHasNoChinese) {
  const TextTable* tables[] = {&AppTextTable(), &JobTextTable(), &OnlineTextTable()};
  std::set<std::string> names;
  size_t rows = 0, differing = 0;
  for (const TextTable* table : tables) {
    for (const TextRow* row = table->rows; row->name != nullptr; ++row, ++rows) {
      EXPECT_TRUE(names.insert(row->name).second) << row->name << " named twice";
      ASSERT_NE(row->chinese, nullptr) << row->name;
      ASSERT_NE(row->english, nullptr) << row->name;
      EXPECT_NE(row->english[0], '\0') << row->name;
      // Narrow texts go through the ANSI calls: only ASCII reads alike on every code page.
      EXPECT_TRUE(Ascii(row->english)) << row->name;
      EXPECT_TRUE(Ascii(row->chinese)) << row->name;
    }
    for (const WideTextRow* row = table->wideRows; row->name != nullptr; ++row, ++rows) {
      EXPECT_TRUE(names.insert(row->name).second) << row->name << " named twice";
      ASSERT_NE(row->chinese, nullptr) << row->name;
      ASSERT_NE(row->english, nullptr) << row->name;
      EXPECT_NE(row->english[0], L'\0') << row->name;
      EXPECT_FALSE(HasChinese(row->english)) << row->name;
      // A Chinese text has an English of its own.
      if (HasChinese(row->chinese)) {
        ++differing;
        EXPECT_NE(std::wcscmp(row->chinese, row->english), 0) << row->name;
      }
    }
  }
  EXPECT_GT(rows, 150u);
  EXPECT_GE(differing, 11u);

  for (UiLanguage language : {kLanguageEnglish, kLanguageChinese}) {
    ApplyLanguage(language);
    for (const TextTable* table : tables) {
      for (const TextRow* row = table->rows; row->name != nullptr; ++row) {
        EXPECT_EQ(*row->slot, language == kLanguageEnglish ? row->english : row->chinese) << row->name;
      }
      for (const WideTextRow* row = table->wideRows; row->name != nullptr; ++row) {
        EXPECT_EQ(*row->slot, language == kLanguageEnglish ? row->english : row->chinese) << row->name;
      }
    }
    // The longest outcome and its note fit the outcome's buffer in either language.
    for (const wchar_t* outcome : {kCreateCancelledText, kWriteCancelledText, kWriteCompletedText, kCreateCompletedText}) {
      for (const wchar_t* note : {kWholeDiskStoppedText, kWholeDiskCopiedText, kHeadClearedText}) {
        EXPECT_LT(std::wcslen(outcome) + 2 + std::wcslen(note), kOutcomeTextChars);
      }
    }
  }
}

TEST_F(LanguageTest, SettingsInTheRegistryIgnoreWhatIsMissingTooLongOrOfAnotherType) {
  struct Case {
    const char* label;
    std::optional<sim::RegistryValue> value;
    bool textRead;
    std::string text;
    bool numberRead;
    int32_t number;
  } cases[] = {
      {"missing", std::nullopt, false, "", false, 0},
      {"text", sim::RegistryValue{REG_SZ, Bytes(std::string("C:\\images\\") + '\0')}, true, "C:\\images\\", false, 0},
      {"text without its NUL", sim::RegistryValue{REG_SZ, Bytes("C:\\x")}, true, "C:\\x", false, 0},
      {"empty text", sim::RegistryValue{REG_SZ, Bytes(std::string(1, '\0'))}, false, "", false, 0},
      {"text too long", sim::RegistryValue{REG_SZ, Bytes(std::string(MAX_PATH, 'a') + '\0')}, false, "", false, 0},
      {"expandable text", sim::RegistryValue{REG_EXPAND_SZ, Bytes(std::string("%TEMP%") + '\0')}, false, "", false, 0},
      {"number", sim::RegistryValue{REG_DWORD, Dword(0xFFFFFFF6u)}, false, "", true, -10},
      {"number of three bytes", sim::RegistryValue{REG_DWORD, {1, 0, 0}}, false, "", false, 0},
      {"number as binary", sim::RegistryValue{REG_BINARY, Dword(1)}, false, "", false, 0},
  };
  for (const Case& c : cases) {
    sim::Reset();
    FindSettingsStore();
    if (c.value) sim::SetRegistryValue(kKey, "Value", c.value->type, c.value->bytes);
    char text[kSettingTextBytes] = "untouched";
    int32_t number = 77;
    EXPECT_EQ(ReadSettingText("Value", text, sizeof(text)), c.textRead) << c.label;
    if (c.textRead) EXPECT_EQ(std::string(text), c.text) << c.label;
    EXPECT_EQ(ReadSettingNumber("Value", &number), c.numberRead) << c.label;
    EXPECT_EQ(number, c.numberRead ? c.number : 77) << c.label;
    EXPECT_EQ(sim::OpenRegistryKeys(), 0) << c.label;
  }
  // A text that does not fit the caller's buffer is not cut.
  sim::SetRegistryText(kKey, "Value", "zh-CN-longer");
  char small[8];
  EXPECT_FALSE(ReadSettingText("Value", small, sizeof(small)));

  // Writing makes the key and stores each kind with its type.
  sim::Reset();
  FindSettingsStore();
  EXPECT_FALSE(sim::RegistryKeyExists(kKey));
  WriteSettingNumber(SETTING_VERIFY, 0);
  WriteSettingText(SETTING_WRITE_FOLDER, "C:\\images\\");
  WriteSettingText(SETTING_CREATE_FOLDER, std::string(MAX_PATH, 'a').c_str());  // too long: not written
  EXPECT_EQ(sim::RegistryValueOf(kKey, SETTING_VERIFY)->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(sim::RegistryValueOf(kKey, SETTING_VERIFY)->bytes, Dword(0));
  EXPECT_EQ(sim::RegistryValueOf(kKey, SETTING_WRITE_FOLDER)->bytes, Bytes(std::string("C:\\images\\") + '\0'));
  EXPECT_FALSE(sim::RegistryValueOf(kKey, SETTING_CREATE_FOLDER).has_value());
  EXPECT_FALSE(SettingsInFile());
}

TEST_F(LanguageTest, ATavrinIniBesideTheProgramKeepsTheSettingsAndTheRegistryIsLeftAlone) {
  sim::SetModuleFileName(TempPath("tavrin.exe"));
  WriteHostFile(TempPath("tavrin.ini"), Bytes("[Tavrin]\r\nLanguage=en\r\nWindowLeft=-12\r\nWindowTop=12x\r\n"
                                             "WriteFolder=" + std::string(MAX_PATH, 'a') + "\r\n"));
  FindSettingsStore();
  ASSERT_TRUE(SettingsInFile());
  EXPECT_EQ(StartLanguage(), kLanguageEnglish);
  int32_t number = 0;
  EXPECT_TRUE(ReadSettingNumber(SETTING_WINDOW_LEFT, &number));
  EXPECT_EQ(number, -12);
  EXPECT_FALSE(ReadSettingNumber(SETTING_WINDOW_TOP, &number)) << "not a number";
  char text[kSettingTextBytes];
  EXPECT_FALSE(ReadSettingText(SETTING_WRITE_FOLDER, text, sizeof(text))) << "too long";
  EXPECT_FALSE(ReadSettingNumber(SETTING_VERIFY, &number)) << "missing";

  SwitchLanguage(kLanguageChinese);
  WriteSettingNumber(SETTING_VERIFY, 0);
  const auto bytes = ReadHostFile(TempPath("tavrin.ini"));
  const std::string file(bytes.begin(), bytes.end());
  EXPECT_NE(file.find("Language=zh-CN"), std::string::npos) << file;
  EXPECT_NE(file.find("Verify=0"), std::string::npos) << file;
  EXPECT_EQ(file.find("Language=en"), std::string::npos) << file;
  EXPECT_FALSE(sim::RegistryKeyExists(kKey)) << "nothing written to the registry";
  EXPECT_TRUE(ReadSettingNumber(SETTING_VERIFY, &number));
  EXPECT_EQ(number, 0);
}

TEST_F(LanguageTest, EachTabsBrowseStartsInTheFolderItLastUsed) {
  mainWindow = sim::MakeWindow("main");
  for (uint8_t family : {kPlatformNt, kPlatformLegacy}) {
    sim::Reset();
    FindSettingsStore();
    mainWindow = sim::MakeWindow("main");
    jobState.platformClass = family;
    sim::SetVersion(family == kPlatformNt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
    std::vector<sim::FileDialogCall> calls;
    std::string pick;
    sim::SetFileDialogHandler([&](const sim::FileDialogCall& call) -> std::optional<std::string> {
      calls.push_back(call);
      return pick;
    });
    pick = "C:\\images\\one.img";
    BrowseForImage(mainWindow, kWriteImageToDisk);
    pick = "D:\\saved\\two.img";
    BrowseForImage(mainWindow, kCreateImageFromDisk);
    pick = "C:\\images\\three.img";
    BrowseForImage(mainWindow, kWriteImageToDisk);
    BrowseForImage(mainWindow, kCreateImageFromDisk);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_FALSE(calls[0].initialFolder.has_value());
    EXPECT_FALSE(calls[1].initialFolder.has_value());
    EXPECT_EQ(calls[2].initialFolder.value_or("none"), "C:\\images\\");
    EXPECT_EQ(calls[3].initialFolder.value_or("none"), "D:\\saved\\");
    // A folder the code page cannot hold is not remembered as '?'s.
    pick = "C:\\映像\\four.img";
    BrowseForImage(mainWindow, kWriteImageToDisk);
    EXPECT_EQ(sim::RegistryValueOf(kKey, SETTING_WRITE_FOLDER)->bytes, Bytes(std::string("C:\\images\\") + '\0'));
  }
  sim::SetFileDialogHandler(nullptr);
  jobState.platformClass = kPlatformNt;
}

}  // namespace

// A file dropped on the window fills the field of the tab shown, in the
// family's own calls; the disk tools and a running job take nothing; every
// drop is given back.
TEST_F(LanguageTest, ADroppedFileFillsTheFieldOfTheTabShownOnly) {
  const struct {
    const char* what;
    uint8_t family;
    int32_t tab;
    bool busy;
    std::vector<std::wstring> files;
    std::string field;  // what the file field then holds
  } rows[] = {
      {"write tab, a Chinese name", kPlatformNt, kWriteImageToDisk, false, {L"D:\\映像\\disk.img", L"D:\\b.img"},
       "D:\\映像\\disk.img"},
      {"create tab", kPlatformNt, kCreateImageFromDisk, false, {L"E:\\backup.img"}, "E:\\backup.img"},
      {"legacy family", kPlatformLegacy, kWriteImageToDisk, false, {L"A:\\DISK.IMG"}, "A:\\DISK.IMG"},
      {"disk tools tab", kPlatformNt, kDiskTools, false, {L"D:\\x.img"}, "old.img"},
      {"during a job", kPlatformNt, kWriteImageToDisk, true, {L"D:\\x.img"}, "old.img"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    sim::Reset();
    mainWindow = sim::MakeWindow("main");
    jobState.platformClass = row.family;
    sim::SetVersion(row.family == kPlatformNt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
    sim::SetControlText(mainWindow, IDC_IMAGE_FILE, "old.img");
    jobState.busy.store(row.busy ? 1 : 0);
    TakeDroppedFile(mainWindow, sim::MakeDrop(row.files), row.tab);
    jobState.busy.store(0);
    EXPECT_EQ(sim::ControlText(mainWindow, IDC_IMAGE_FILE), row.field);
    EXPECT_EQ(sim::DropsHeld(), 0);
  }
  jobState.platformClass = kPlatformNt;
}
