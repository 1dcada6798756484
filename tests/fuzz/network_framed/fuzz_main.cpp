// The framed receive pass over arbitrary bytes: length words and block bytes arrive in
// pieces of every size, the reader takes bytes out between passes (also of blocks not yet
// complete), and what it reads must be the blocks' bytes in order.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/ring_buffer.h"
#include "network/network_state.h"

namespace {

struct FakeSocket {
  const uint8_t* bytes;
  size_t size;
  size_t delivered;  // bytes the peer has sent so far
  size_t consumed;   // bytes the pass has taken
};
FakeSocket Socket;

int ReadFake(uintptr_t, void* buffer, int32_t length, int32_t peek) {
  const size_t ready = Socket.delivered - Socket.consumed;
  if (ready == 0) return -1;  // would block
  const size_t count = static_cast<size_t>(length) < ready ? static_cast<size_t>(length) : ready;
  std::memcpy(buffer, Socket.bytes + Socket.consumed, count);
  if (peek == 0) Socket.consumed += count;
  return static_cast<int>(count);
}

uint32_t Next(uint32_t* state) {
  *state = *state * 1103515245u + 12345u;
  return *state >> 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t state = data[0] | static_cast<uint32_t>(data[1]) << 8;
  Socket = FakeSocket{data + 2, size - 2, 0, 0};

  // The blocks' bytes as the stream defines them, and where a hostile word stops it.
  std::vector<uint8_t> payload;
  bool hostile = false;
  bool may_fail = false;
  for (size_t at = 0; at + 4 <= Socket.size;) {
    uint32_t word = 0;
    std::memcpy(&word, Socket.bytes + at, 4);
    at += 4;
    const int32_t length = static_cast<int32_t>(word);
    if (length < 0) {
      hostile = true;
      break;
    }
    // Near 2^31 the refusal depends on what the ring holds at that moment.
    if (length > INT32_MAX - 1000 - static_cast<int32_t>(Socket.size)) may_fail = true;
    const size_t take = Socket.size - at < static_cast<size_t>(length) ? Socket.size - at : static_cast<size_t>(length);
    payload.insert(payload.end(), Socket.bytes + at, Socket.bytes + at + take);
    at += take;
  }

  quelt::NetWorkRecord record{};
  record.inUse = 1;
  record.framed = 1;
  record.socket = 1;
  std::vector<uint8_t> read;
  std::vector<uint8_t> buffer;
  for (int pass = 0; pass < 100000 && record.errorFlag == 0; ++pass) {
    const size_t piece = (Next(&state) & 7) == 0 ? Next(&state) % 70000 : Next(&state) % 40;
    Socket.delivered = Socket.delivered + piece < Socket.size ? Socket.delivered + piece : Socket.size;
    const size_t consumed_before = Socket.consumed;
    const int result = quelt::ReceiveFramedBlocks(&record, ReadFake, pass);
    if (result != 0 && record.errorFlag == 0) __builtin_trap();
    if (record.receiveRing.dataLength < 0 || record.receiveRing.dataLength > record.receiveRing.capacity)
      __builtin_trap();
    // The reader takes a share of what is there, as NetWorkRecv does.
    const int32_t stored = record.receiveRing.dataLength;
    const int32_t take = stored == 0 ? 0 : static_cast<int32_t>(Next(&state) % (static_cast<uint32_t>(stored) + 1));
    buffer.resize(static_cast<size_t>(take));
    if (quelt::ReadRingBytes(&record.receiveRing, take, buffer.data(), 0) != 0) __builtin_trap();
    record.completeBytes -= take;
    read.insert(read.end(), buffer.begin(), buffer.end());
    // Everything sent, nothing more taken and nothing left to read: the rest is a word cut short.
    if (Socket.delivered == Socket.size && Socket.consumed == consumed_before && record.receiveMore == 0 &&
        record.receiveRing.dataLength == 0)
      break;
  }
  if (record.errorFlag != 0 && !hostile && !may_fail) __builtin_trap();
  if (hostile && !may_fail && record.errorFlag == 0) __builtin_trap();  // a negative word fails the handle
  if (read.size() > payload.size() || (!read.empty() && std::memcmp(read.data(), payload.data(), read.size()) != 0))
    __builtin_trap();
  if (record.errorFlag == 0 && read.size() != payload.size()) __builtin_trap();
  quelt::FreeRingBuffer(&record.receiveRing);
  return 0;
}
