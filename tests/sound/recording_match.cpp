#include "sound/recording_match.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quelt_test {

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(f);
  return bytes;
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void TakeSamples(const uint8_t* p, size_t bytes, Pcm16* out) {
  out->samples.resize(bytes / 2);
  for (size_t i = 0; i < out->samples.size(); ++i) out->samples[i] = static_cast<int16_t>(Le16(p + 2 * i));
}

// The first frame where any channel reaches `level`, or -1.
int64_t Onset(const Pcm16& pcm, int32_t level) {
  for (size_t i = 0; i < pcm.samples.size(); ++i) {
    if (std::abs(pcm.samples[i]) >= level) return static_cast<int64_t>(i) / pcm.channels;
  }
  return -1;
}

struct Sums {
  double xy = 0, xx = 0, yy = 0;
  double Correlation() const { return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0; }
};

// Adds `frames` reference frames from `from` against the recording from `at`; false (nothing
// added) when either does not reach that far.
bool Accumulate(const Pcm16& reference, int64_t from, const Pcm16& recording, int64_t at, int64_t frames,
                Sums* sums) {
  if (at < 0 || from < 0 || at + frames > recording.Frames() || from + frames > reference.Frames()) return false;
  const int16_t* x = reference.samples.data() + from * reference.channels;
  const int16_t* y = recording.samples.data() + at * recording.channels;
  for (int64_t i = 0; i < frames * reference.channels; ++i) {
    const double a = x[i];
    const double b = y[i];
    sums->xy += a * b;
    sums->xx += a * a;
    sums->yy += b * b;
  }
  return true;
}

// Over the frames both hold, when that is enough to tell (the sound's last stretch is matched
// on what is left of it).
double Correlation(const Pcm16& reference, int64_t from, const Pcm16& recording, int64_t at, int64_t frames) {
  frames = std::min({frames, reference.Frames() - from, recording.Frames() - at});
  if (frames < 64) return 0.0;
  Sums sums;
  return Accumulate(reference, from, recording, at, frames, &sums) ? sums.Correlation() : 0.0;
}

// The offset (recording frame minus reference frame) in [low, high] under which the
// recording's frames [at, at + frames) match the reference best.
int64_t BestOffset(const Pcm16& reference, const Pcm16& recording, int64_t at, int64_t frames, int64_t low,
                   int64_t high, double* best) {
  int64_t offset = high;
  *best = -2.0;
  for (int64_t o = high; o >= low; --o) {
    const double c = Correlation(reference, at - o, recording, at, frames);
    if (c > *best) {
      *best = c;
      offset = o;
    }
  }
  return offset;
}

// The recording without the sink's gaps; each gap's place in the result and in the recording.
struct Compacted {
  Pcm16 pcm;
  std::vector<int64_t> gapAt;  // frame of the result where the gap was taken out
  std::vector<SinkGap> gaps;
};

Compacted WithoutSinkGaps(const Pcm16& recording) {
  const int32_t ch = recording.channels;
  const int64_t frames = recording.Frames();
  auto silent = [&](int64_t f) {
    for (int32_t c = 0; c < ch; ++c) {
      if (recording.samples[f * ch + c] != 0) return false;
    }
    return true;
  };
  auto audible = [&](int64_t f) {
    for (int32_t c = 0; c < ch; ++c) {
      if (std::abs(recording.samples[f * ch + c]) >= 256) return true;
    }
    return false;
  };
  // The sounding part runs from where the sound is first to where it is last clearly heard:
  // a decoder's start and end (MP3's delay and padding) are quiet, and may hold zeros.
  int64_t first = 0;
  while (first < frames && !audible(first)) ++first;
  int64_t last = frames - 1;
  while (last > first && !audible(last)) --last;
  Compacted out;
  out.pcm.channels = ch;
  out.pcm.rate = recording.rate;
  out.pcm.samples.reserve(recording.samples.size());
  int64_t f = 0;
  while (f < frames) {
    int64_t run = 0;
    while (f + run < frames && silent(f + run)) ++run;
    if (run >= SinkGapFrames && f > first && f + run <= last) {
      out.gapAt.push_back(out.pcm.Frames());
      out.gaps.push_back(SinkGap{f, run, 0});
      f += run;
      continue;
    }
    const int64_t keep = run > 0 ? run : 1;
    out.pcm.samples.insert(out.pcm.samples.end(), recording.samples.begin() + f * ch,
                           recording.samples.begin() + (f + keep) * ch);
    f += keep;
  }
  return out;
}

// Stretches shorter than this between two gaps are matched where they fit best, but do not
// decide where the sound goes on.
constexpr int64_t ShortPiece = 256;
constexpr int64_t PieceProbe = 4096;

}  // namespace

bool ReadWave16(const std::string& path, Pcm16* out) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    return false;
  bool have_format = false;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const uint8_t* chunk = bytes.data() + at;
    const size_t size = Le32(chunk + 4);
    const size_t body = at + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && body + 16 <= bytes.size()) {
      const uint16_t tag = Le16(bytes.data() + body);
      out->channels = Le16(bytes.data() + body + 2);
      out->rate = static_cast<int32_t>(Le32(bytes.data() + body + 4));
      if ((tag != 1 && tag != 0xFFFE) || Le16(bytes.data() + body + 14) != 16 || out->channels <= 0) return false;
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0 && have_format) {
      TakeSamples(bytes.data() + body, std::min(size, bytes.size() - body), out);
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

bool ReadRaw16(const std::string& path, int32_t channels, int32_t rate, Pcm16* out) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  out->channels = channels;
  out->rate = rate;
  TakeSamples(bytes.data(), bytes.size() / (2 * channels) * (2 * channels), out);
  return !bytes.empty();
}

RecordingMatch MatchRecording(const Pcm16& raw, const Pcm16& reference) {
  RecordingMatch match;
  if (raw.channels != reference.channels || raw.rate != reference.rate) return match;
  Compacted compacted = WithoutSinkGaps(raw);
  const Pcm16& recording = compacted.pcm;
  const int32_t rate = reference.rate;
  const int64_t frames = reference.Frames();
  for (const SinkGap& gap : compacted.gaps) match.sinkGapFrames += gap.frames;

  // The recording in pieces between the gaps.
  std::vector<int64_t> starts{0};
  starts.insert(starts.end(), compacted.gapAt.begin(), compacted.gapAt.end());
  const auto count = static_cast<int64_t>(starts.size());
  auto piece_end = [&](int64_t j) { return j + 1 < count ? starts[j + 1] : recording.Frames(); };

  // The one search for the shift between the two, where the sound begins: the first loud
  // frame of each gives it within a decoder's delay, the first stretch of sound pins it.
  const int64_t heard = Onset(recording, 2000);
  const int64_t sounded = Onset(reference, 2000);
  constexpr int64_t Reach = 4096;
  if (heard < 0 || sounded < 0) return match;
  int64_t first = 0;
  while (first + 1 < count && starts[first + 1] <= heard) ++first;
  const int64_t stretch = std::min<int64_t>(piece_end(first) - heard, PieceProbe);
  double best = 0;
  const int64_t offset =
      BestOffset(reference, recording, heard, stretch, heard - sounded - Reach, heard - sounded + Reach, &best);
  if (stretch < 64 || best < 0.95) return match;
  match.found = true;

  // Each later piece placed from the one before: across a gap only earlier, by at most the
  // gaps crossed since the last piece long enough to tell.
  std::vector<int64_t> offsets(starts.size(), offset);
  auto place = [&](int64_t j, int64_t known, int64_t allowance, double* fit) {
    const int64_t length = std::min(piece_end(j) - starts[j], PieceProbe);
    return BestOffset(reference, recording, starts[j], length, known - allowance, known, fit);
  };
  int64_t known = offset;
  int64_t allowance = 0;
  for (int64_t j = first + 1; j < count; ++j) {
    allowance += compacted.gaps[j - 1].frames;
    double fit = 0;
    offsets[j] = place(j, known, allowance, &fit);
    // A piece that fits nowhere well (a glitch of the sink's) does not decide either: taken
    // for the place of the sound, it could put everything after it out of reach.
    if (piece_end(j) - starts[j] >= ShortPiece && fit >= 0.9) {
      compacted.gaps[j - 1].lost = known - offsets[j];
      known = offsets[j];
      allowance = 0;
    }
  }
  match.sinkGaps = compacted.gaps;
  match.offset = offset;

  // Every frame of every piece against the reference frame it stands for, summed by the
  // reference's seconds. A piece is followed window by window: where a window no longer
  // matches, the sound may go on a few frames earlier (lost with no silence to show for it).
  constexpr int64_t Window = 256;
  // The late search runs in the first few windows of each stretch that stops matching.
  constexpr int32_t LateSearches = 8;
  std::vector<Sums> seconds(static_cast<size_t>((frames + rate - 1) / rate));
  int64_t silence_seen = 0;  // the sink's silence before the current piece
  int32_t searches_left = LateSearches;
  for (int64_t j = 0; j < count; ++j) {
    int64_t o = offsets[j];
    if (j > 0) silence_seen += compacted.gaps[j - 1].frames;
    for (int64_t w = starts[j]; w < piece_end(j); w += Window) {
      const int64_t end_of_window = std::min(w + Window, piece_end(j));
      if (end_of_window - w == Window && w - o >= 0 && w - o + Window <= frames &&
          Correlation(reference, w - o, recording, w, Window) < 0.99) {
        double best = 0;
        const int64_t probe = std::min<int64_t>(piece_end(j) - w, 1024);
        int64_t moved = BestOffset(reference, recording, w, probe, o - SilentLossFrames, o, &best);
        if (moved != o && best >= 0.99) {
          match.silentLosses.push_back(SilentLoss{w - o, o - moved});
          o = moved;
        } else if (const int64_t unexplained = silence_seen - (offset - o); unexplained > SilentLossFrames &&
                                                                              searches_left > 0) {
          --searches_left;
          moved = BestOffset(reference, recording, w, probe, o - unexplained, o, &best);
          if (moved != o && best >= 0.99) {
            match.lateLosses.push_back(SilentLoss{w - o, o - moved});
            o = moved;
          }
        }
      } else {
        searches_left = LateSearches;
      }
      for (int64_t f = w; f < end_of_window;) {
        const int64_t r = f - o;
        if (r < 0 || r >= frames) {
          f = r < 0 ? std::min(f - r, end_of_window) : end_of_window;
          continue;
        }
        const int64_t n = std::min({end_of_window - f, rate - r % rate, frames - r});
        Accumulate(reference, r, recording, f, n, &seconds[static_cast<size_t>(r / rate)]);
        f += n;
      }
    }
    offsets[j] = o;
  }
  for (size_t k = 0; k < seconds.size(); ++k) {
    if (static_cast<int64_t>(k) * rate + rate / 4 <= frames) match.seconds.push_back(seconds[k].Correlation());
  }

  // After the end: at most a decoder's padding, then silence.
  const int64_t end = offsets.back() + frames;
  const int64_t tail_from = end + Reach;
  const int64_t tail_to = std::min(recording.Frames(), end + rate / 2);
  if (tail_to - tail_from < rate / 4) {
    match.tailPeak = 0x7FFF;
  } else {
    for (int64_t i = tail_from * recording.channels; i < tail_to * recording.channels; ++i)
      match.tailPeak = std::max<int32_t>(match.tailPeak, std::abs(recording.samples[i]));
  }
  return match;
}

}  // namespace quelt_test
