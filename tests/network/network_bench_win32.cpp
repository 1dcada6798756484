// Loopback throughput into the engine through network handles (framed and raw) beside a
// plain blocking WinSock send/recv loop over the same amount, in the same run. The three
// take turns over eleven rounds and the best round of each counts: the machine's load
// comes and goes, and under Wine every socket call is a round trip to its one server. The
// middle of the rounds' own ratios is printed beside, as a lucky round can set either best.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "network/peer_support_win32.h"

namespace {

using namespace quelt;
using quelt_test::Deadline;

constexpr int Chunk = 65536;
constexpr int64_t Total = 32LL * 1024 * 1024;
constexpr int Rounds = 11;

double Seconds() {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Sends Total bytes, framed as blocks of Chunk bytes when asked.
// The peer sends without Nagle's delay, in every mode alike: the 4-byte length words would
// otherwise wait for delayed acknowledgements and measure the peer's stack, not the handles.
void Feed(SOCKET peer, bool framed) {
  const BOOL no_delay = TRUE;
  setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  std::vector<char> data(Chunk + 4, 'x');
  const uint32_t length = Chunk;
  std::memcpy(data.data(), &length, 4);
  for (int64_t sent = 0; sent < Total; sent += Chunk) {
    if (framed) {
      quelt_test::SendAll(peer, data.data(), Chunk + 4);
    } else {
      quelt_test::SendAll(peer, data.data() + 4, Chunk);
    }
  }
}

// Every mode alike: the connection is made first; the clock runs from the sender's start
// to the last byte received.
double PlainMegabytesPerSecond() {
  int port = 0;
  const SOCKET listener = quelt_test::ListenOnLoopback(1, &port);
  const SOCKET peer = quelt_test::ConnectPeer(port);
  const SOCKET s = accept(listener, nullptr, nullptr);
  std::vector<char> buffer(Chunk);
  const double start = Seconds();
  std::thread sender([&] { Feed(peer, false); });
  int64_t got = 0;
  while (got < Total) {
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

double HandleMegabytesPerSecond(bool framed) {
  SetNetWorkRawMode(framed ? 0 : 1);
  StartNetWork();
  const int32_t port = ListenNetWork(0);
  const NetWorkRecord* known = NetWorkModule.listHead.next;
  SOCKET peer = quelt_test::ConnectPeer(port);
  const EngineHandle handle = quelt_test::WaitForAccepted(known);
  std::vector<char> buffer(Chunk);
  const double start = Seconds();
  std::thread sender([&] { Feed(peer, framed); });
  int64_t got = 0;
  for (Deadline limit(120000); got < Total && limit.Open();) {
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

}  // namespace

int main() {
  WSADATA data{};
  WSAStartup(MAKEWORD(1, 1), &data);
  std::vector<double> plain, framed, raw;
  for (int round = 0; round < Rounds; ++round) {
    plain.push_back(PlainMegabytesPerSecond());
    framed.push_back(HandleMegabytesPerSecond(true));
    raw.push_back(HandleMegabytesPerSecond(false));
  }
  const double best_plain = Best(plain);
  std::printf("loopback receive, %lld MB in %d-byte pieces, best of %d rounds taken in turn\n",
              static_cast<long long>(Total >> 20), Chunk, Rounds);
  std::printf("  plain blocking send/recv : %8.1f MB/s\n", best_plain);
  std::printf("  framed network handle    : %8.1f MB/s  (%.2fx of plain)\n", Best(framed), Best(framed) / best_plain);
  std::printf("  raw network handle       : %8.1f MB/s  (%.2fx of plain)\n", Best(raw), Best(raw) / best_plain);
  std::printf("  median of the rounds' own ratios: framed %.2fx, raw %.2fx\n", MedianRatio(framed, plain),
              MedianRatio(raw, plain));
  WSACleanup();
  return 0;
}
