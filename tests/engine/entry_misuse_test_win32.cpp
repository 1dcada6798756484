// Bad arguments never crash, hang or end the program: the misuse sweep of every public entry
// runs in a child process of this program per back end; a watchdog in the child bounds each
// call and names the call that hung or crashed. The parent checks the child's report.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/entry/api_entry.h"
#include "tests/engine/entry_misuse.h"

namespace quelt_test {
namespace {

constexpr const char* kChildFlag = "--misuse-child=";
// Generous for a loaded host: a bad argument is refused in microseconds; the calls that
// start or stop the engine take a second or two.
constexpr DWORD kCallLimitMs = 20000;
constexpr DWORD kChildLimitMs = 120000;

FILE* Report = nullptr;
CRITICAL_SECTION ReportLock;
char CurrentCall[512] = "";
std::atomic<DWORD> CallStartedAt{0};
std::atomic<bool> CallRunning{false};

void WriteReportLine(const std::string& line) {
  EnterCriticalSection(&ReportLock);
  if (Report != nullptr) {
    std::fprintf(Report, "%s\n", line.c_str());
    std::fflush(Report);
  }
  LeaveCriticalSection(&ReportLock);
}

DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(100);
    if (CallRunning.load() && GetTickCount() - CallStartedAt.load() > kCallLimitMs) {
      WriteReportLine(std::string("HUNG in ") + CurrentCall);
      TerminateProcess(GetCurrentProcess(), 4);
    }
  }
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
  char line[640];
  std::snprintf(line, sizeof line, "CRASHED (exception 0x%08lX) in %s",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                CallRunning.load() ? CurrentCall : "(between calls)");
  WriteReportLine(line);
  TerminateProcess(GetCurrentProcess(), 5);
  return EXCEPTION_EXECUTE_HANDLER;
}

std::string ReportFile(const std::string& backEnd) { return "misuse_" + backEnd + ".txt"; }

int RunChild(const std::string& backEnd) {
  InitializeCriticalSection(&ReportLock);
  Report = std::fopen(ReportFile(backEnd).c_str(), "w");
  if (Report == nullptr) return 2;
  SetUnhandledExceptionFilter(CrashFilter);
  CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  RunEntrySweep(backEnd == "d3d" ? SweepBackEnd::Direct3D : SweepBackEnd::Software);
  WriteReportLine("DONE");
  std::fclose(Report);
  Report = nullptr;
  std::fflush(nullptr);
  // Wine now and then hangs in a process's own exit: the report is complete, end here.
  TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}

// Runs the sweep of one back end in a child and returns its report's lines; a line
// "TIMEOUT" is added when the child outlived its limit.
std::vector<std::string> RunSweepChild(const std::string& backEnd) {
  std::remove(ReportFile(backEnd).c_str());
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" " + kChildFlag + backEnd;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<std::string> lines;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    lines.push_back("the child did not start");
    return lines;
  }
  if (WaitForSingleObject(process.hProcess, kChildLimitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 9);
    lines.push_back("TIMEOUT");
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(ReportFile(backEnd));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void ExpectCleanSweep(const std::string& backEnd) {
  const std::vector<std::string> lines = RunSweepChild(backEnd);
  ASSERT_FALSE(lines.empty()) << "the child left no report";
  for (const std::string& line : lines)
    if (line != "DONE") ADD_FAILURE() << line;
  EXPECT_EQ(lines.back(), "DONE") << "the sweep did not finish";
}

DWORD WINAPI ReadKeysAndDrawText(void* result) {
  uint8_t keys[256];
  std::memset(keys, 1, sizeof keys);
  int* r = static_cast<int*>(result);
  r[0] = quelt::ApiReadAllKeys(keys);
  r[1] = quelt::ApiDrawTextDefaultFont(10, 10, "text", 0xFFFFFF, 0);
  quelt::ApiDrawTextFormatted(10, 10, 0xFFFFFF, "%d", 12);
  r[2] = keys[0] == 0 && std::memcmp(keys, keys + 1, sizeof keys - 1) == 0 ? 1 : 0;
  return 0;
}

// With no window nothing can ever become active: the entries that wait for activation
// return at once before start-up, with the key buffer cleared.
TEST(EntryMisuse, KeyAndTextEntriesReturnAtOnceBeforeStartUp) {
  int result[3] = {5, 5, 5};
  const HANDLE thread = CreateThread(nullptr, 0, ReadKeysAndDrawText, result, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  if (WaitForSingleObject(thread, kCallLimitMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the key and text entries did not return before start-up";
    std::fflush(nullptr);
    ExitProcess(3);
  }
  CloseHandle(thread);
  EXPECT_EQ(result[0], -1);
  EXPECT_EQ(result[1], -1);
  EXPECT_EQ(result[2], 1);
}

TEST(EntryMisuse, Direct3DRefusesEveryBadArgument) { ExpectCleanSweep("d3d"); }

TEST(EntryMisuse, SoftwareRendererRefusesEveryBadArgument) { ExpectCleanSweep("soft"); }

}  // namespace

int64_t BoundedCall(const std::string& name, const std::function<int64_t()>& call) {
  std::snprintf(CurrentCall, sizeof CurrentCall, "%s", name.c_str());
  CallStartedAt.store(GetTickCount());
  CallRunning.store(true);
  const int64_t result = call();
  CallRunning.store(false);
  return result;
}

void ReportMismatch(const std::string& name, int64_t got, const std::string& wanted) {
  WriteReportLine(name + ": got " + std::to_string(got) + ", wanted " + wanted);
}

}  // namespace quelt_test

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], quelt_test::kChildFlag, std::strlen(quelt_test::kChildFlag)) == 0)
      return quelt_test::RunChild(argv[i] + std::strlen(quelt_test::kChildFlag));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
