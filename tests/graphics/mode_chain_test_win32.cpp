// The screen-mode fall-back chain needs a display that offers several modes: each case
// runs this program again as a child inside a Wine virtual desktop
// (explorer /desktop=NAME,1024x768), which lists and switches 320 x 200 ... 1024 x 768.
// The child writes what it saw to a file; the parent checks it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/core_state.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

constexpr const char* kChildFlag = "--chain-child=";

std::string ResultFile(int hardware) { return "chain_result_" + std::to_string(hardware) + ".txt"; }

int RunChild(int hardware) {
  std::ofstream out(ResultFile(hardware) + ".part");
  const std::string caption = "quelt graphics mode chain " + std::to_string(hardware);
  const int started = quelt_test::StartEngineSession({caption.c_str(), hardware, 640, 480, 32, 0});
  out << "start=" << started << "\n";
  out << "hardware=" << quelt::ScreenState.hardware << "\n";
  out << "modes=" << quelt::CountDisplayModes() << "\n";
  if (started == 0) {
    out << "to800=" << quelt::RequestScreenMode(800, 600, 32, 0) << "\n";
    out << "width800=" << quelt::ScreenState.width << "\n";
    // A size the display does not have: the chain goes back to the mode before.
    out << "to1280=" << quelt::RequestScreenMode(1280, 1024, 32, 0) << "\n";
    out << "width1280=" << quelt::ScreenState.width << "\n";
    out << "started1280=" << quelt::ScreenState.started << "\n";
    out << "hardware1280=" << quelt::ScreenState.hardware << "\n";
    out << "to320=" << quelt::RequestScreenMode(320, 240, 32, 0) << "\n";
    out << "width320=" << quelt::ScreenState.width << "\n";
    out << "emulation320=" << quelt::GetEmulation320Flag() << "\n";
    out << "to640=" << quelt::RequestScreenMode(640, 480, 32, 0) << "\n";
    out << "emulation640=" << quelt::GetEmulation320Flag() << "\n";
    // Sizes below zero are refused with the screen left running.
    out << "negativeWidth=" << quelt::RequestScreenMode(-640, 480, 32, 0) << "\n";
    out << "negativeHeight=" << quelt::RequestScreenMode(640, -1, 32, 0) << "\n";
    out << "widthAfterNegative=" << quelt::ScreenState.width << "\n";
    out << "startedAfterNegative=" << quelt::ScreenState.started << "\n";
    quelt_test::StopEngineSession();
  }
  out << "done=1\n";
  out.close();
  std::rename((ResultFile(hardware) + ".part").c_str(), ResultFile(hardware).c_str());
  return 0;
}

std::map<std::string, int> RunInVirtualDesktop(int hardware) {
  return quelt_test::RunChildInVirtualDesktop("quelt_chain_" + std::to_string(hardware),
                                              kChildFlag + std::to_string(hardware), ResultFile(hardware));
}

TEST(GraphicsModeChain, FallsBackInsideAVirtualDesktop) {
  for (int hardware : {1, 0}) {
    SCOPED_TRACE(hardware);
    auto v = RunInVirtualDesktop(hardware);
    ASSERT_EQ(v["done"], 1) << "the child left no result";
    ASSERT_EQ(v["start"], 0);
    EXPECT_EQ(v["hardware"], hardware);
    EXPECT_GT(v["modes"], 3);
    EXPECT_EQ(v["to800"], 0);
    EXPECT_EQ(v["width800"], 800);
    EXPECT_EQ(v["to1280"], -1);
    EXPECT_EQ(v["width1280"], 800);  // the mode before
    EXPECT_EQ(v["started1280"], 1);
    EXPECT_EQ(v["hardware1280"], hardware);
    // 320 x 240 runs as itself, or at 640 x 480 with the emulation flag.
    if (v["to320"] == 0) {
      EXPECT_EQ(v["width320"], 320);
    } else {
      EXPECT_EQ(v["width320"], 640);
      EXPECT_EQ(v["emulation320"], 1);
    }
    EXPECT_EQ(v["to640"], 0);
    EXPECT_EQ(v["emulation640"], 0);
    EXPECT_EQ(v["negativeWidth"], -1);
    EXPECT_EQ(v["negativeHeight"], -1);
    EXPECT_EQ(v["widthAfterNegative"], 640);
    EXPECT_EQ(v["startedAfterNegative"], 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kChildFlag, std::strlen(kChildFlag)) == 0)
      return RunChild(std::atoi(argv[i] + std::strlen(kChildFlag)));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
