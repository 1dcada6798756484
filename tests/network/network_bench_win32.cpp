// Loopback throughput into the engine through network handles (framed and raw) beside a
// plain blocking WinSock send/recv loop over the same amount, in the same run, for amounts
// from a quarter of a megabyte to 128 MB. At each amount the three
// take turns over eleven rounds and the best round of each counts: the machine's load
// comes and goes, and under Wine every socket call is a round trip to its one server. The
// middle of the rounds' own ratios is printed beside, as a lucky round can set either best.
// First many small framed messages between two engines (this program and a copy of it
// started as the peer), streamed one way and sent back and forth, beside the same messages
// over plain blocking sockets.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "network/peer_support_win32.h"

namespace {

using namespace quelt;
using quelt_test::Deadline;

constexpr int Chunk = 65536;
// The amounts each mode receives, from a quarter of a megabyte to 128 MB.
constexpr int64_t Totals[] = {256LL << 10, 2LL << 20, 32LL << 20, 128LL << 20};
constexpr int Rounds = 11;

double Seconds() {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Sends `total` bytes, framed as blocks of Chunk bytes when asked.
// The peer sends without Nagle's delay, in every mode alike: the 4-byte length words would
// otherwise wait for delayed acknowledgements and measure the peer's stack, not the handles.
void Feed(SOCKET peer, bool framed, int64_t total) {
  const BOOL no_delay = TRUE;
  setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  std::vector<char> data(Chunk + 4, 'x');
  const uint32_t length = Chunk;
  std::memcpy(data.data(), &length, 4);
  for (int64_t sent = 0; sent < total; sent += Chunk) {
    if (framed) {
      quelt_test::SendAll(peer, data.data(), Chunk + 4);
    } else {
      quelt_test::SendAll(peer, data.data() + 4, Chunk);
    }
  }
}

// Every mode alike: the connection is made first; the clock runs from the sender's start
// to the last byte received.
double PlainMegabytesPerSecond(int64_t total) {
  int port = 0;
  const SOCKET listener = quelt_test::ListenOnLoopback(1, &port);
  const SOCKET peer = quelt_test::ConnectPeer(port);
  const SOCKET s = accept(listener, nullptr, nullptr);
  std::vector<char> buffer(Chunk);
  const double start = Seconds();
  std::thread sender([&] { Feed(peer, false, total); });
  int64_t got = 0;
  while (got < total) {
    const int n = recv(s, buffer.data(), Chunk, 0);
    if (n <= 0) break;
    got += n;
  }
  const double elapsed = Seconds() - start;
  sender.join();
  closesocket(peer);
  closesocket(s);
  closesocket(listener);
  return static_cast<double>(got) / elapsed / 1e6;
}

double HandleMegabytesPerSecond(bool framed, int64_t total) {
  SetNetWorkRawMode(framed ? 0 : 1);
  StartNetWork();
  const int32_t port = ListenNetWork(0);
  const NetWorkRecord* known = NetWorkModule.listHead.next;
  SOCKET peer = quelt_test::ConnectPeer(port);
  const EngineHandle handle = quelt_test::WaitForAccepted(known);
  std::vector<char> buffer(Chunk);
  const double start = Seconds();
  std::thread sender([&] { Feed(peer, framed, total); });
  int64_t got = 0;
  for (Deadline limit(120000); got < total && limit.Open();) {
    if (framed) {
      const int32_t ready = GetNetWorkDataLength(handle);
      if (ready <= 0) continue;
      const int32_t take = ready < Chunk ? ready : Chunk;
      if (NetWorkRecv(handle, buffer.data(), take) == 0) got += take;
    } else {
      ProcessNetWorkMessages(1);
      const int n = NetWorkRecv(handle, buffer.data(), Chunk);
      if (n > 0) got += n;
    }
  }
  const double elapsed = Seconds() - start;
  sender.join();
  closesocket(peer);
  TerminateNetWork();
  SetNetWorkRawMode(0);
  return static_cast<double>(got) / elapsed / 1e6;
}

double Best(const std::vector<double>& runs) { return *std::max_element(runs.begin(), runs.end()); }

// The middle of the rounds' own ratios: each handle run against the plain run just before it.
double MedianRatio(const std::vector<double>& runs, const std::vector<double>& plain) {
  std::vector<double> ratios;
  for (size_t i = 0; i < runs.size(); ++i) ratios.push_back(runs[i] / plain[i]);
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 2];
}

// Many small messages: a block of MessageBytes is a message; Messages of them go one way,
// RoundTrips go there and back one at a time.
constexpr int MessageBytes = 100;
constexpr int Messages = 10000;
constexpr int RoundTrips = 1000;
constexpr int SmallRounds = 5;
constexpr uint8_t GoWord = 'g';

// The plain loop: each message one send of its length word and bytes, read back as a
// length word and the bytes, as a program over plain sockets would.
bool PlainSendMessage(SOCKET s, const char* message) {
  char framed[4 + MessageBytes];
  const uint32_t length = MessageBytes;
  std::memcpy(framed, &length, 4);
  std::memcpy(framed + 4, message, MessageBytes);
  return quelt_test::SendAll(s, framed, sizeof framed);
}

bool PlainRecvMessage(SOCKET s, char* message) {
  char word[4];
  return quelt_test::RecvAll(s, word, 4) && quelt_test::RecvAll(s, message, MessageBytes);
}

// Seconds for the messages one way (round_trips 0) or for the round trips.
double PlainSmallSeconds(bool round_trips) {
  int port = 0;
  const SOCKET listener = quelt_test::ListenOnLoopback(1, &port);
  const SOCKET peer = quelt_test::ConnectPeer(port);
  const SOCKET s = accept(listener, nullptr, nullptr);
  char message[MessageBytes] = {};
  const double start = Seconds();
  std::thread other_end([&] {
    char echo[MessageBytes];
    if (round_trips) {
      for (int i = 0; i < RoundTrips && PlainRecvMessage(peer, echo); ++i) PlainSendMessage(peer, echo);
    } else {
      for (int i = 0; i < Messages; ++i) PlainSendMessage(peer, message);
    }
  });
  const int count = round_trips ? RoundTrips : Messages;
  for (int i = 0; i < count; ++i) {
    if (round_trips) PlainSendMessage(s, message);
    if (!PlainRecvMessage(s, message)) break;
  }
  const double elapsed = Seconds() - start;
  other_end.join();
  closesocket(peer);
  closesocket(s);
  closesocket(listener);
  return elapsed;
}

// Pumps and waits until a whole message has come on `handle` and takes it: false when the
// connection was lost or a minute passed.
bool EngineRecvMessage(EngineHandle handle, char* message) {
  for (Deadline limit(60000); limit.Open();) {
    if (GetNetWorkDataLength(handle) >= MessageBytes) return NetWorkRecv(handle, message, MessageBytes) == 0;
    ProcessNetWorkMessages(1);
    if (GetNetWorkAcceptState(handle) != 1) return false;
  }
  return false;
}

// The peer engine (this program started with "peer PORT MODE"): connects, waits for the go
// word, then sends the messages or sends each one back, and stays until it is dropped.
int RunPeer(int port, bool round_trips) {
  StartNetWork();
  const EngineHandle handle = ConnectNetWork(quelt_test::Loopback(), static_cast<uint16_t>(port), 1);
  char message[MessageBytes] = {};
  char go = 0;
  for (Deadline limit(10000); GetNetWorkDataLength(handle) < 1 && limit.Open();) ProcessNetWorkMessages(1);
  if (NetWorkRecv(handle, &go, 1) != 0 || go != GoWord) return 1;
  if (round_trips) {
    for (int i = 0; i < RoundTrips && EngineRecvMessage(handle, message); ++i)
      NetWorkSend(handle, message, MessageBytes);
  } else {
    for (int i = 0; i < Messages; ++i) {
      NetWorkSend(handle, message, MessageBytes);
      ProcessNetWorkMessages(1);
    }
  }
  for (Deadline limit(60000); GetNetWorkAcceptState(handle) == 1 && limit.Open();) ProcessNetWorkMessages(1);
  TerminateNetWork();
  return 0;
}

// Seconds between two engines, this one the receiving (or first sending) end.
double EngineSmallSeconds(bool round_trips) {
  StartNetWork();
  const int32_t port = ListenNetWork(0);
  const NetWorkRecord* known = NetWorkModule.listHead.next;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char command[MAX_PATH + 64];
  std::snprintf(command, sizeof command, "\"%s\" peer %d %d", path, port, round_trips ? 1 : 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  double elapsed = -1;
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    const EngineHandle handle = quelt_test::WaitForAccepted(known);
    char message[MessageBytes] = {};
    const double start = Seconds();
    int done = 0;
    if (handle >= 0 && NetWorkSend(handle, &GoWord, 1) == 0) {
      const int count = round_trips ? RoundTrips : Messages;
      for (; done < count; ++done) {
        if (round_trips) NetWorkSend(handle, message, MessageBytes);
        if (!EngineRecvMessage(handle, message)) break;
      }
    }
    if (done == (round_trips ? RoundTrips : Messages)) elapsed = Seconds() - start;
    TerminateNetWork();
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  TerminateNetWork();
  return elapsed;
}

void PrintSmallMessages() {
  for (const bool round_trips : {false, true}) {
    std::vector<double> plain, engine;
    for (int round = 0; round < SmallRounds; ++round) {
      plain.push_back(PlainSmallSeconds(round_trips));
      engine.push_back(EngineSmallSeconds(round_trips));
    }
    // Times: the best is the least, and a failed round (-1) counts as none.
    const double best_plain = *std::min_element(plain.begin(), plain.end());
    double best_engine = -1;
    for (double t : engine)
      if (t > 0 && (best_engine < 0 || t < best_engine)) best_engine = t;
    const int count = round_trips ? RoundTrips : Messages;
    std::printf("%s %d messages of %d bytes, engine to engine, best of %d rounds\n",
                round_trips ? "there and back," : "one way,", count, MessageBytes, SmallRounds);
    std::printf("  plain blocking send/recv : %8.3f s  (%8.0f messages/s)\n", best_plain, count / best_plain);
    if (best_engine < 0) {
      std::printf("  framed network handles   :   failed\n");
    } else {
      std::printf("  framed network handles   : %8.3f s  (%8.0f messages/s, %.2fx of plain)\n", best_engine,
                  count / best_engine, best_plain / best_engine);
    }
  }
}

void PrintThroughput(int64_t total) {
  std::vector<double> plain, framed, raw;
  for (int round = 0; round < Rounds; ++round) {
    plain.push_back(PlainMegabytesPerSecond(total));
    framed.push_back(HandleMegabytesPerSecond(true, total));
    raw.push_back(HandleMegabytesPerSecond(false, total));
  }
  const double best_plain = Best(plain);
  std::printf("loopback receive, %lld KB in %d-byte pieces, best of %d rounds taken in turn\n",
              static_cast<long long>(total >> 10), Chunk, Rounds);
  std::printf("  plain blocking send/recv : %8.1f MB/s\n", best_plain);
  std::printf("  framed network handle    : %8.1f MB/s  (%.2fx of plain)\n", Best(framed), Best(framed) / best_plain);
  std::printf("  raw network handle       : %8.1f MB/s  (%.2fx of plain)\n", Best(raw), Best(raw) / best_plain);
  std::printf("  median of the rounds' own ratios: framed %.2fx, raw %.2fx\n", MedianRatio(framed, plain),
              MedianRatio(raw, plain));
}

}  // namespace

int main(int argc, char** argv) {
  WSADATA data{};
  WSAStartup(MAKEWORD(1, 1), &data);
  if (argc == 4 && std::strcmp(argv[1], "peer") == 0) return RunPeer(std::atoi(argv[2]), std::atoi(argv[3]) != 0);
  // "small" runs the small messages alone, "large" the amounts alone.
  const char* only = argc == 2 ? argv[1] : "";
  if (std::strcmp(only, "large") != 0) PrintSmallMessages();
  if (std::strcmp(only, "small") != 0)
    for (const int64_t total : Totals) PrintThroughput(total);
  WSACleanup();
  return 0;
}
