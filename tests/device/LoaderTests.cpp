// The Direct3D loader's lines when the module is loaded with the observer at trace level.
#include <gtest/gtest.h>

#include "TestSupport.h"

TEST(Loader, LoadingTheModuleMakesTheFactory) {
  vmdxtest::PrintLevelScope trace(LOG_TRACE);
  vmdxtest::ObserverCapture capture;
  ASSERT_NE(nullptr, vmdxtest::ModuleHandle());
  const std::string text = capture.Text();
  std::printf("%s\n", text.c_str());
  const size_t open = text.find("Try to open d3d9.dll\n");
  const size_t call = text.find("Call Direct3DCreate9ExPtr\n");
  const size_t leave = text.find("Leave CDirectX9::GetCrtParam\n");
  ASSERT_NE(std::string::npos, open);
  ASSERT_NE(std::string::npos, call);
  ASSERT_NE(std::string::npos, leave);
  EXPECT_LT(open, call);
  EXPECT_LT(call, leave);
  EXPECT_FALSE(capture.Contains("failed")) << text;
}
