// Every parameter field with every kind of bad text: the control form reads it
// as Val does, a value beyond the double range ends the series with a message
// naming the field, and nothing is left half done.
#include "apps/batch_options.h"
#include "runtime/numeric.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace tb;
using tb::testing::Rig;

namespace {

const std::string kHuge(400, '9');
const std::string kLongDecimals = "0.1234567890123456789012345678901234567890";
const std::vector<std::string> kBadTexts = {
    "", "abc", "1,5", "  +7x", "-", ".", kHuge, kLongDecimals, "\xce\xb1\xce\xb2\xce\xb3"};

} // namespace

TEST(BadInput, EveryFieldReadsEveryTextAsValDoes) {
  for (const auto& field : parameterFields()) {
    for (const auto& text : kBadTexts) {
      SCOPED_TRACE(std::string(field.label) + " = \"" + text.substr(0, 20) + "\"");
      Rig rig;
      rig.type("Ttdelta", "0.01").type("Talphaend", "0").type(field.control, text);
      // Stop each run early: some of these values make a test endless.
      rig.stopAtStep(2000);
      rig.start();
      EXPECT_EQ(rig.forms->caption("LMesg"), "NEXT TEST ? ");
      EXPECT_EQ(rig.forms->caption("CommandEnd"), "End");
      bool tooLarge = text == kHuge;
      bool zeroWindow = std::string(field.control) == "Tdispmax" && Val(text) == 0;
      // A time step that reads as 0 is refused: such a test could never end.
      bool zeroStep = std::string(field.control) == "Ttdelta" && Val(text) == 0;
      if (tooLarge || zeroWindow || zeroStep) {
        ASSERT_EQ(rig.forms->fatalMessages.size(), 1u);
        EXPECT_NE(rig.forms->fatalMessages[0].find(field.label), std::string::npos)
            << rig.forms->fatalMessages[0];
        EXPECT_TRUE(rig.reports.empty());
        continue;
      }
      ASSERT_TRUE(rig.forms->fatalMessages.empty()) << rig.forms->fatalMessages[0];
      ASSERT_FALSE(rig.reports.empty());
      // The value the engine used is Val of the text.
      const SimState& s = rig.exp.state();
      double v = Val(text);
      std::string c = field.control;
      if (c == "Ttdelta") {
        EXPECT_EQ(s.tdelta, v);
      }
      if (c == "Tinitv2") {
        EXPECT_EQ(s.initv2, static_cast<float>(v));
      }
      if (c == "Tm3") {
        EXPECT_EQ(s.mass[2], v);
      }
      if (c == "Tdispmax") {
        EXPECT_EQ(s.plot.xmax, v);
      }
      if (c == "Talphastr") {
        EXPECT_EQ(rig.reports[0].alpha, v);
      }
      for (const auto& r : rig.reports) {
        EXPECT_EQ(r.line.find("Inf"), std::string::npos);
        EXPECT_EQ(r.line.find("NaN"), std::string::npos);
      }
    }
  }
}

TEST(BadInput, TheBatchToolRefusesWhatIsNotWhollyANumber) {
  const char* options[] = {"--alpha-start", "--alpha-end", "--tdelta",  "--init-v3",
                           "--m2",          "--m3",        "--disp-max"};
  for (const char* option : options) {
    for (const auto& text : kBadTexts) {
      SCOPED_TRACE(std::string(option) + " \"" + text.substr(0, 20) + "\"");
      ParseResult r = parseBatchOptions({option, text});
      bool number = text == kHuge || text == kLongDecimals;
      EXPECT_EQ(r.error.empty(), number) << r.error;
      if (!number) {
        EXPECT_NE(r.error.find(option), std::string::npos);
      }
    }
  }
}

TEST(EndlessTests, RunUntilStopped) {
  // A time step too small to move anything or an angle of 720 and more never
  // count a revolution.
  struct Case {
    const char* control;
    const char* text;
  } cases[] = {{"Ttdelta", "1E-300"}, {"Talphastr", "725"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    Rig rig;
    rig.type("Talphaend", "0").type(c.control, c.text);
    if (std::string(c.control) == "Talphastr") rig.type("Tinitv2", "-1").type("Ttdelta", "0.02");
    rig.stopAtStep(300000);
    rig.start();
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0].steps, 300000);
    EXPECT_EQ(rig.reports[0].end, EndCode::None);
    EXPECT_EQ(rig.reports[0].revolutions, 0);
  }
}
