#include "app/status_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Compose(int32_t phase, double percent, double bytes, uint64_t tick, uint64_t start) {
  char text[256];
  ComposeStatusText(text, sizeof(text), phase, percent, bytes, tick, start, false);
  return text;
}

std::string Remaining(double percent, uint64_t elapsed) {
  char text[256] = "untouched";
  if (!FormatRemainingText(text, sizeof(text), percent, 100 + elapsed, 100)) return "(none)";
  return text;
}

std::string Speed(double percent, double bytes, uint64_t elapsed) {
  char text[256] = "untouched";
  if (!FormatSpeedText(text, sizeof(text), percent, bytes, 100 + elapsed, 100)) return "(none)";
  return text;
}

TEST(StatusLineTexts, PercentageHasTwoDecimalsAndAPercentSignAndSaysWhatIsDone) {
  char text[256];
  FormatPercentText(text, sizeof(text), 12.345, false);
  EXPECT_STREQ(text, "12.35% Completed");
  FormatPercentText(text, sizeof(text), 0.0, false);
  EXPECT_STREQ(text, "0.00% Completed");
  FormatPercentText(text, sizeof(text), 99.999, true);
  EXPECT_STREQ(text, "100.00% Verified");
  ComposeStatusText(text, sizeof(text), 4, 25.0, 1048576.0, 10, 10, true);
  EXPECT_STREQ(text, "25.00% Verified") << "the fallback of a phase whose estimate fails";
}

TEST(StatusLineTexts, RemainingTimeInSecondsMinutesOrHoursAndMinutes) {
  struct Case {
    double percent;
    uint64_t elapsed;
    const char* text;
  } cases[] = {
      {20.0, 10, "Remaining Time 40 Seconds"},
      {2.5, 100, "Remaining Time 1 Hours 5 Minutes"},
      {50.0, 3600, "Remaining Time 1 Hours 0 Minutes"},   // exactly 3600 s
      {50.0, 59, "Remaining Time 59 Seconds"},
      {50.0, 60, "Remaining Time 1 Minutes"},             // exactly 60 s
      {10.0, 31, "Remaining Time 5 Minutes"},             // 279 s = 4.65 min, rounded
      {1.0, 100, "Remaining Time 2 Hours 45 Minutes"},    // 9900 s
      {4.0, 1000, "Remaining Time 6 Hours 40 Minutes"},   // 24000 s
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Remaining(c.percent, c.elapsed), c.text) << c.percent << "% after " << c.elapsed;
  }
}

TEST(StatusLineTexts, RemainingTimeRoundsToWholeSecondsSoAlmostAMinuteReadsSixty) {
  // 1 s elapsed at 1.64 %: 59.97 s remain, below the minute limit.
  EXPECT_EQ(Remaining(1.64, 1), "Remaining Time 60 Seconds");
}

TEST(StatusLineTexts, SpeedInBytesKilobytesMegabytesOrGigabytesPerSecond) {
  struct Case {
    double bytes;
    uint64_t elapsed;
    const char* text;
  } cases[] = {
      {5242880.0, 2, "2.50 MB/Sec"},
      {1000.0, 1, "1000 Bytes/Sec"},
      {1024.0, 1, "1.00 KB/Sec"},
      {1023.0, 1, "1023 Bytes/Sec"},
      {1048576.0, 1, "1.00 MB/Sec"},
      {1073741824.0 * 3, 2, "1.50 GB/Sec"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Speed(50.0, c.bytes, c.elapsed), c.text) << c.bytes << " bytes in " << c.elapsed;
  }
}

TEST(StatusLineTexts, EstimatesNeedProgressBelowAHundredAWholeSecondAndBytes) {
  EXPECT_EQ(Remaining(0.0, 10), "(none)");
  EXPECT_EQ(Remaining(100.0, 10), "(none)");
  EXPECT_EQ(Remaining(100.5, 10), "(none)");
  EXPECT_EQ(Remaining(50.0, 0), "(none)");
  EXPECT_EQ(Speed(0.0, 4096.0, 10), "(none)");
  EXPECT_EQ(Speed(100.0, 4096.0, 10), "(none)");
  EXPECT_EQ(Speed(50.0, 4096.0, 0), "(none)");
  EXPECT_EQ(Speed(50.0, 0.0, 10), "(none)");
}

TEST(StatusLineTexts, EachPhaseShowsItsTextOrFallsBackToThePercentage) {
  // 25 % after 4 s with 1 MiB moved: 12 s remain, 256 KB/Sec.
  for (int32_t phase = 0; phase < kStatusPhases; ++phase) {
    const std::string text = Compose(phase, 25.0, 1048576.0, 14, 10);
    if (phase < 3) {
      EXPECT_EQ(text, "25.00% Completed") << phase;
    }
    else if (phase < 6) EXPECT_EQ(text, "Remaining Time 12 Seconds") << phase;
    else EXPECT_EQ(text, "256.00 KB/Sec") << phase;
    // In the job's first second every phase shows the percentage.
    EXPECT_EQ(Compose(phase, 25.0, 1048576.0, 10, 10), "25.00% Completed") << phase;
  }
  EXPECT_EQ(Compose(7, 25.0, 0.0, 14, 10), "25.00% Completed");
}

}  // namespace

// ---- The timer tick against the job record and the window ------------------

#include "imaging/job_state.h"
#include "sim_fixture.h"

namespace {

class StatusTickTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    mainWindow = sim::MakeWindow("main");
    jobState.statusText = buffer_;
    WriteStatusText("idle text");
    jobState.tickCount.store(0);
    jobState.startTick.store(0);
    jobState.percentDone.store(25.0);
    jobState.bytesDone.store(1048576.0);
    jobState.outcomeWordShown.store(0);
    jobState.busy.store(1);
  }
  void TearDown() override {
    jobState.busy.store(0);
    jobState.outcomeWordShown.store(0);
    jobState.statusText = nullptr;
    statusPhase = 0;
    SimTest::TearDown();
  }

  // P, R or S for the text the tick left: percentage, remaining time, speed.
  static char Kind() {
    char text[kStatusTextBytes];
    ReadStatusText(text, sizeof(text));
    const std::string s = text;
    if (s.find("% Completed") != std::string::npos) return 'P';
    if (s.rfind("Remaining Time ", 0) == 0) return 'R';
    if (s.find("/Sec") != std::string::npos) return 'S';
    return '?';
  }

  static int Redraws() {
    int count = 0;
    for (const sim::Event& event : sim::Events()) {
      if (event.kind == "SendMessage" && event.message == LVM_REDRAWITEMS && event.controlId == 1044) ++count;
    }
    return count;
  }

  static std::string Ticks(int count) {
    std::string kinds;
    for (int i = 0; i < count; ++i) {
      StatusTimerTick();
      kinds += Kind();
    }
    return kinds;
  }

  char buffer_[kStatusTextBytes];
};

TEST_F(StatusTickTest, TenTickCycleFromPhaseZero) {
  statusPhase = 0;
  EXPECT_EQ(Ticks(21), "PPPRRRSSSSPPPRRRSSSSP");
  EXPECT_EQ(Redraws(), 21);
  EXPECT_EQ(jobState.tickCount.load(), 21u);
}

TEST_F(StatusTickTest, ANewJobTakesUpTheCycleWhereTheLastOneLeftIt) {
  statusPhase = 7;
  EXPECT_EQ(Ticks(11), "SSSPPPRRRSS");
}

TEST_F(StatusTickTest, FirstSecondOfAJobShowsThePercentageInEveryPhase) {
  // The job started on the tick that is about to come.
  jobState.startTick.store(1);
  statusPhase = 4;
  StatusTimerTick();
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  EXPECT_STREQ(text, "25.00% Completed");
}

TEST_F(StatusTickTest, IdleTicksOnlyCountAndLeaveTheTextAndTheBarAlone) {
  jobState.busy.store(0);
  statusPhase = 3;
  for (int i = 0; i < 5; ++i) StatusTimerTick();
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  EXPECT_STREQ(text, "idle text");
  EXPECT_EQ(jobState.tickCount.load(), 5u);
  EXPECT_EQ(Redraws(), 0);
  EXPECT_EQ(statusPhase, 3);
}

// The worker writes its word before its outcome box, while the job is still
// busy; the ticks during and after the box must not turn it back into a
// percentage.
TEST_F(StatusTickTest, TheOutcomeWordOutlastsTheTicksOfItsBox) {
  statusPhase = 0;
  StatusTimerTick();
  WriteOutcomeWord("Cancelled");
  const int redrawsBefore = Redraws();
  for (int i = 0; i < 12; ++i) StatusTimerTick();
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  EXPECT_STREQ(text, "Cancelled");
  EXPECT_EQ(Redraws(), redrawsBefore);
  EXPECT_FALSE(WriteProgressText("50.00% Completed"));
  jobState.outcomeWordShown.store(0);  // as Start does for the next job
  // The cycle went on under the box: 13 busy ticks so far, the next is the fourth phase.
  EXPECT_EQ(Ticks(10), "RRRSSSSPPP");
}

}  // namespace
