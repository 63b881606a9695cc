// Logging through the observer and the debugger-output fallback.
#include <string>
#include <vector>

#include "DebugOutputCapture.h"
#include "Diagnostics.h"
#include "TestSupport.h"

using namespace vmdxtest;

namespace {

constexpr char kSourceFile[] = "tests/runtime/LoggingTests";

TEST(Logging, LevelsFilterBeforePrinting) {
  ObserverCapture capture;
  {
    PrintLevelScope level(0);
    LogPrint(LOG_ALWAYS, VLOC, "always %d\n", 1);
    LogPrint(LOG_ERROR, VLOC, "hidden error\n");
  }
  {
    PrintLevelScope level(0x41);
    LogPrint(LOG_WARN, VLOC, "hidden warning\n");
    LogPrint(LOG_TRACE, VLOC, "shown trace\n");
  }
  {
    PrintLevelScope level(LOG_WARN);
    LogPrint(LOG_WARN, VLOC, "shown warning %s\n", "w");
  }
  EXPECT_TRUE(capture.Contains("always 1"));
  EXPECT_TRUE(capture.Contains("shown trace"));
  EXPECT_TRUE(capture.Contains("shown warning w"));
  EXPECT_FALSE(capture.Contains("hidden"));
  EXPECT_TRUE(capture.Contains("tests/runtime/LoggingTests")) << "the location travels with the line";
}

TEST(Logging, SetPrintLevelChangesOnlyTheMaskedBitsAndTheCacheFollows) {
  PrintLevelScope level(0x0F00 | LOG_ERROR);
  EXPECT_EQ(0x0F40u, GetPrintLevel());
  EXPECT_EQ(0x0F40u, SetPrintLevel(LOG_TRACE | LOG_WARN));
  EXPECT_EQ(0x0F11u, GetPrintLevel());  // 0x0F00 lies outside the change mask 0xF0FF
  EXPECT_TRUE(LogEnabled(LOG_WARN));
  EXPECT_FALSE(LogEnabled(LOG_ERROR));
}

TEST(Logging, DebugOutputWritesLongTextsWholeAndNamesANullFormat) {
  DebugOutputCapture output;
  const std::string longText(5000, 'x');
  DebugOutputF("%s|", longText.c_str());
  const char* noFormat = nullptr;
  DebugOutputF(noFormat);
  DebugOutputF("short %d\n", 42);
  if (output.Lines().empty()) GTEST_SKIP() << "this system hands debugger output to no handler";
  EXPECT_TRUE(output.Saw(longText + "|"));
  EXPECT_TRUE(
      output.Saw("\x07"
                 "DebugOutputF invalid pointer: format == NULL\n"));
  EXPECT_TRUE(output.Saw("short 42\n"));
}

}  // namespace
