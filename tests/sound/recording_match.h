#pragma once
// Whether a recording of the sound output holds a reference decode whole and in order: the
// reference is found in the recording once, then every frame of it must sit exactly where
// that finding puts it. A gap, a skip or a repeat moves everything after it, and the
// correlation of the second where it happens collapses.
//
// The one exception is the sink's own doing. A mixer starved on a loaded machine hands the
// sink nothing for a moment: the sink plays digital silence, and the mixer may then drop
// up to that much sound to catch up with the clock. Such runs of exact zeros are taken out
// of the recording, and across each the sound may move earlier by at most the run's length;
// elsewhere by a few frames at most (below), and never later (a repeat). A stream's own
// faults never write zeros in the middle of a sound (an underrun replays the ring's old
// contents).
#include <cstdint>
#include <string>
#include <vector>

namespace quelt_test {

struct Pcm16 {
  int32_t channels = 2;
  int32_t rate = 44100;
  std::vector<int16_t> samples;  // interleaved
  int64_t Frames() const { return channels <= 0 ? 0 : static_cast<int64_t>(samples.size()) / channels; }
};

// The samples of a 16-bit PCM WAV file, its chunks walked; false for anything else.
bool ReadWave16(const std::string& path, Pcm16* out);
// A headerless little-endian 16-bit recording of the given layout.
bool ReadRaw16(const std::string& path, int32_t channels, int32_t rate, Pcm16* out);

// Runs of digital silence at least this long inside the sounding part are the sink's. A
// starved sink may hand over as little as a frame or two of zeros; a frame of exact zeros in
// every channel is all but unknown in sound, and taken for a gap it excuses nothing beyond
// its own length.
inline constexpr int32_t SinkGapFrames = 1;

struct SinkGap {
  int64_t at;      // frame of the recording where it began
  int64_t frames;  // its length
  int64_t lost;    // sound frames missing across it (at most `frames`)
};

// The recorder or the mixer, catching up on a loaded machine, may also drop a few frames
// with no silence at all. No more than this at once is taken for that; a stream's own slips
// are shown byte for byte by the ring's own checks, not here.
inline constexpr int32_t SilentLossFrames = 32;

struct SilentLoss {
  int64_t at;    // reference frame where it happened
  int64_t lost;  // frames
};

// A mixer starved on a heavily loaded machine may also catch up on its gaps some time after
// them, dropping more than a few frames at once with no silence to show where. Where the
// sound stops matching and no small loss explains it, its place is searched for again, and
// found earlier by no more than the sink's silence so far that no loss has yet been
// explained by: such a late loss is the sink's. A loss beyond that, a repeat or old sound
// in place of new is not.

struct RecordingMatch {
  bool found = false;
  int64_t offset = 0;           // the recording frame that holds reference frame 0
  std::vector<double> seconds;  // each second of the reference against the recording
  std::vector<SinkGap> sinkGaps;
  std::vector<SilentLoss> silentLosses;
  std::vector<SilentLoss> lateLosses;
  int64_t sinkGapFrames = 0;
  int32_t tailPeak = 0;  // loudest sample just after the reference's end
};

RecordingMatch MatchRecording(const Pcm16& recording, const Pcm16& reference);

}  // namespace quelt_test
