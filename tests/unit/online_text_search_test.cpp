// The text routines that read the server's reply: what they find decides
// whether the user is offered a download, and which page the browser opens.
#include "online/text_search.h"
#include "sim_fixture.h"

#include <string>
#include <vector>

namespace {

TEST(CompareNoCaseTest, FoldsOnlyCapitalsAndComparesSignedBytes) {
  struct Case { const char* a; const char* b; int32_t expected; };
  const Case cases[] = {
      {"Link", "link", 0},
      {"TRUE", "true", 0},
      {"", "true", -1},
      {"true", "tru", 1},
      {"tru", "true", -1},
      {"true", "", 1},
      {"", "", 0},
      {"abc", "abd", -1},
      {"abd", "ABC", 1},
      {"\x80", "a", -1},     // bytes from 0x80 up count as negative
      {"a", "\xff", 1},
      {"[", "A", -1},        // 0x5B is not folded, and lies below 'a'
      {"@", "`", -1},        // 0x40 and 0x60 are not letters
      {"\xc1", "\xe1", -1},  // no folding outside A..Z
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareNoCase(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
  }
}

TEST(FindSubstringTest, ReportsIndexPastFirstMatchThatEndsInsideTheLimit) {
  struct Case { std::string haystack; const char* needle; int32_t limit; int32_t expected; };
  const Case cases[] = {
      {std::string("abc", 4), "bc", 3, -1},  // the match reaches the limit
      {std::string("abc", 4), "bc", 4, 3},   // the terminator inside the range
      {"xxabyyabzz", "ab", 10, 4},           // the first of two
      {"aab", "ab", 4, 3},                   // after a false start on the same byte
      {"aab", "ab", 3, -1},
      {"ABC", "bc", 4, -1},                  // case-sensitive
      {"abcabc", "abcd", 6, -1},             // partial match only
      {"ab", "abc", 2, -1},                  // needle longer than the range
      {"abc", "a", 0, -1},
      {"abc", "a", -5, -1},
      {"<new>true</new>", "<new>", 15, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindSubstring(c.haystack.c_str(), c.needle, c.limit), c.expected)
        << '"' << c.haystack << "\" / \"" << c.needle << "\" limit " << c.limit;
  }
}

TEST(FindSubstringTest, NeverReadsAtOrBeyondTheLimit) {
  // The haystack is exactly `limit` bytes on the heap: a read past it is an
  // address-sanitizer finding, and the byte after it would complete the match.
  const std::string bytes = "xxxxab";
  std::vector<char> exact(bytes.begin(), bytes.end() - 1);  // "xxxxa"
  EXPECT_EQ(FindSubstring(exact.data(), "ab", static_cast<int32_t>(exact.size())), -1);
}

class ExtractTagValueTest : public SimTest {};

TEST_F(ExtractTagValueTest, FindsValuesAsTheServerWritesThem) {
  struct Case {
    const char* label;
    std::string reply;
    const char* name;
    bool found;
    std::string value;
  };
  const Case cases[] = {
      {"plain", "HTTP/1.0 200 OK\r\n\r\n<new>true</new>", "new", true, "true"},
      {"empty value", "<new></new>", "new", true, ""},
      {"second tag", "<new>TRUE</new><link>http://dl.example.test/t.zip</link>", "link", true,
       "http://dl.example.test/t.zip"},
      // The value ends two bytes before the next bare name, even inside the value.
      {"name inside value", "<link>http://dl.example.test/link/t.zip</link>", "link", true,
       "http://dl.example.tes"},
      {"closing tag not checked", "<new>true[/new>", "new", true, "true"},
      {"name right after tag", "<new>new.", "new", true, ""},
      {"name ends the reply", "<new>new", "new", false, ""},
      {"no opening tag", "new true /new", "new", false, ""},
      {"no closing name", "<new>true</old>", "new", false, ""},
      {"other tag only", "<link>x</link>", "new", false, ""},
      {"tag case matters", "<NEW>true</NEW>", "new", false, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> reply(c.reply.begin(), c.reply.end());  // not terminated
    char out[64];
    memset(out, 'Z', sizeof(out));
    const bool found = ExtractTagValue(reply.data(), c.name, static_cast<int32_t>(reply.size()), out, sizeof(out));
    EXPECT_EQ(found, c.found) << c.label;
    if (found) {
      EXPECT_EQ(std::string(out), c.value) << c.label;
    }
  }
}

TEST_F(ExtractTagValueTest, CutsLongValuesToTheOutputBuffer) {
  const std::string value(1500, 'v');
  const std::string text = "<link>" + value + "</link>";
  std::vector<char> out(1024, 'Z');
  ASSERT_TRUE(ExtractTagValue(text.data(), "link", static_cast<int32_t>(text.size()), out.data(), 1024));
  EXPECT_EQ(std::string(out.data()), value.substr(0, 1023));

  char small[5];
  ASSERT_TRUE(ExtractTagValue(text.data(), "link", static_cast<int32_t>(text.size()), small, sizeof(small)));
  EXPECT_EQ(std::string(small), "vvvv");
  EXPECT_FALSE(ExtractTagValue(text.data(), "link", static_cast<int32_t>(text.size()), small, 0));
}

TEST_F(ExtractTagValueTest, IgnoresTagsBeyondTheGivenLength) {
  const std::string text = "<new>true</new>";
  char out[16];
  EXPECT_FALSE(ExtractTagValue(text.data(), "new", 12, out, sizeof(out)));  // closing name cut off
  EXPECT_FALSE(ExtractTagValue(text.data(), "new", 14, out, sizeof(out)));  // name ends on the last byte
  EXPECT_TRUE(ExtractTagValue(text.data(), "new", 15, out, sizeof(out)));
  EXPECT_EQ(std::string(out), "true");
}

TEST_F(ExtractTagValueTest, FailsWhenTheOpeningTagCannotBeBuilt) {
  const std::string text = "<new>true</new>";
  char out[16];
  sim::FailHeapAllocs(1);
  EXPECT_FALSE(ExtractTagValue(text.data(), "new", static_cast<int32_t>(text.size()), out, sizeof(out)));
  EXPECT_TRUE(ExtractTagValue(text.data(), "new", static_cast<int32_t>(text.size()), out, sizeof(out)));
}

}  // namespace
