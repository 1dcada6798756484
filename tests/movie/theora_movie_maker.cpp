#include "movie/theora_movie_maker.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

namespace quelt_test {

YuvColour FrameColour(int32_t frame) {
  // Luma steps of 6 over 36 frames, chroma along their own cycles.
  const int32_t y = 24 + (frame % 36) * 6;
  const int32_t u = 96 + (frame * 13) % 64;
  const int32_t v = 96 + (frame * 29) % 64;
  return {static_cast<uint8_t>(y), static_cast<uint8_t>(u), static_cast<uint8_t>(v)};
}

namespace {

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

struct VorbisTrack {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  int64_t samplesWritten = 0;
};

constexpr int32_t SampleRate = 22050;

void StartVorbis(VorbisTrack& t, std::vector<ogg_packet>& headers) {
  vorbis_info_init(&t.info);
  vorbis_encode_init_vbr(&t.info, 1, SampleRate, 0.1f);
  vorbis_comment_init(&t.comment);
  vorbis_analysis_init(&t.dsp, &t.info);
  vorbis_block_init(&t.dsp, &t.block);
  ogg_stream_init(&t.stream, 0x5157);
  ogg_packet h[3];
  vorbis_analysis_headerout(&t.dsp, &t.comment, &h[0], &h[1], &h[2]);
  headers.assign(h, h + 3);
}

// Samples of a quiet tone up to `untilSample`, and the pages that come out.
void FeedVorbis(VorbisTrack& t, int64_t untilSample, bool last, std::vector<uint8_t>& out) {
  const int64_t count = untilSample - t.samplesWritten;
  if (count > 0) {
    float** buffer = vorbis_analysis_buffer(&t.dsp, static_cast<int>(count));
    for (int64_t i = 0; i < count; ++i) {
      buffer[0][i] = 0.2f * static_cast<float>(std::sin((t.samplesWritten + i) * 2 * 3.14159265 * 440 / SampleRate));
    }
    vorbis_analysis_wrote(&t.dsp, static_cast<int>(count));
    t.samplesWritten = untilSample;
  }
  if (last) vorbis_analysis_wrote(&t.dsp, 0);
  ogg_packet packet;
  ogg_page page;
  while (vorbis_analysis_blockout(&t.dsp, &t.block) == 1) {
    vorbis_analysis(&t.block, nullptr);
    vorbis_bitrate_addblock(&t.block);
    while (vorbis_bitrate_flushpacket(&t.dsp, &packet) == 1) ogg_stream_packetin(&t.stream, &packet);
  }
  // The sound's pages go out beside the frames they belong to. Left to fill whole pages, a
  // short track ends up as one page that is both its first and its last, and vorbisfile
  // reads such a track as empty.
  while (ogg_stream_flush(&t.stream, &page) != 0) Append(out, page);
}

void EndVorbis(VorbisTrack& t) {
  ogg_stream_clear(&t.stream);
  vorbis_block_clear(&t.block);
  vorbis_dsp_clear(&t.dsp);
  vorbis_comment_clear(&t.comment);
  vorbis_info_clear(&t.info);
}

// Flat frames: a still textured border around a centre of the frame's flat colour, so
// that the frames between key frames are coded from their predecessors.
bool InCentre(int32_t col, int32_t row, int32_t width, int32_t height) {
  return col >= width / 4 && col < width - width / 4 && row >= height / 4 && row < height - height / 4;
}

struct Plane {
  std::vector<uint8_t> bytes;
  int32_t width, height;
};

// Chroma planes are halved horizontally for 4:2:0 and 4:2:2, vertically for 4:2:0.
int32_t ChromaShiftX(const MovieRecipe& r) { return r.pixelFormat == TH_PF_444 ? 0 : 1; }
int32_t ChromaShiftY(const MovieRecipe& r) { return r.pixelFormat == TH_PF_420 ? 1 : 0; }

// `y`, `u`, `v` cover the coded frame; the picture sits at (pictureX, pictureY) in it.
void PaintFrame(const MovieRecipe& r, int32_t frame, Plane& y, Plane& u, Plane& v) {
  const YuvColour c = FrameColour(frame);
  auto inPicture = [&r](int32_t col, int32_t row) {
    return col >= r.pictureX && col < r.pictureX + r.width && row >= r.pictureY && row < r.pictureY + r.height;
  };
  for (int32_t row = 0; row < y.height; ++row) {
    for (int32_t col = 0; col < y.width; ++col) {
      const int32_t pc = col - r.pictureX;
      const int32_t pr = row - r.pictureY;
      uint8_t value = c.y;
      if (!inPicture(col, row)) {
        value = PaddingColour.y;
      } else if (r.textured) {
        value = static_cast<uint8_t>(((pc + frame * 3) ^ (pr * 2 + frame)) & 0xFF);
      } else if (r.splitTopBottom) {
        value = pr >= r.height / 2 ? 16 : c.y;
      } else if (!InCentre(pc, pr, r.width, r.height)) {
        value = static_cast<uint8_t>(64 + ((pc * 7) ^ (pr * 5)) % 128);
      }
      y.bytes[static_cast<size_t>(row) * y.width + col] = value;
    }
  }
  const int32_t sx = ChromaShiftX(r);
  const int32_t sy = ChromaShiftY(r);
  for (int32_t row = 0; row < u.height; ++row) {
    for (int32_t col = 0; col < u.width; ++col) {
      const size_t at = static_cast<size_t>(row) * u.width + col;
      const int32_t lumaCol = col << sx;
      const int32_t lumaRow = row << sy;
      const int32_t pc = lumaCol - r.pictureX;
      const int32_t pr = lumaRow - r.pictureY;
      uint8_t cu = c.u;
      uint8_t cv = c.v;
      if (!inPicture(lumaCol, lumaRow)) {
        cu = PaddingColour.u;
        cv = PaddingColour.v;
      } else if (r.textured) {
        cu = static_cast<uint8_t>(128 + ((col + row + frame) % 32) - 16);
        cv = static_cast<uint8_t>(128 + ((col * 3 + frame) % 32) - 16);
      } else if (r.splitTopBottom) {
        if (pr >= r.height / 2) cu = cv = 128;
      } else if (!InCentre(pc, pr, r.width, r.height)) {
        cu = cv = 128;
      }
      u.bytes[at] = cu;
      v.bytes[at] = cv;
    }
  }
}

}  // namespace

std::vector<uint8_t> MakeTheoraMovie(const MovieRecipe& r) {
  std::vector<uint8_t> out;
  th_info info;
  th_info_init(&info);
  info.frame_width = static_cast<ogg_uint32_t>((r.pictureX + r.width + 15) & ~15);
  info.frame_height = static_cast<ogg_uint32_t>((r.pictureY + r.height + 15) & ~15);
  info.pic_width = static_cast<ogg_uint32_t>(r.width);
  info.pic_height = static_cast<ogg_uint32_t>(r.height);
  info.pic_x = static_cast<ogg_uint32_t>(r.pictureX);
  info.pic_y = static_cast<ogg_uint32_t>(r.pictureY);
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = static_cast<th_pixel_fmt>(r.pixelFormat);
  info.target_bitrate = 0;
  info.quality = 63;
  info.fps_numerator = static_cast<ogg_uint32_t>(r.fps);
  info.fps_denominator = 1;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  if (encoder == nullptr) {
    th_info_clear(&info);
    return out;
  }
  int keyInterval = r.keyInterval;
  th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keyInterval, sizeof keyInterval);
  th_comment comment;
  th_comment_init(&comment);

  ogg_stream_state video;
  ogg_stream_init(&video, 0x7EA0);
  ogg_page page;
  ogg_packet packet;
  std::vector<ogg_packet> videoHeaders;
  std::vector<std::vector<uint8_t>> headerBytes;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    headerBytes.emplace_back(packet.packet, packet.packet + packet.bytes);
    videoHeaders.push_back(packet);
    videoHeaders.back().packet = headerBytes.back().data();
  }
  // Each stream's first header alone on its opening page, the other headers after.
  ogg_stream_packetin(&video, &videoHeaders[0]);
  while (ogg_stream_flush(&video, &page) != 0) Append(out, page);
  VorbisTrack audio;
  std::vector<ogg_packet> audioHeaders;
  if (r.vorbis) {
    StartVorbis(audio, audioHeaders);
    ogg_stream_packetin(&audio.stream, &audioHeaders[0]);
    while (ogg_stream_flush(&audio.stream, &page) != 0) Append(out, page);
  }
  for (size_t i = 1; i < videoHeaders.size(); ++i) ogg_stream_packetin(&video, &videoHeaders[i]);
  while (ogg_stream_flush(&video, &page) != 0) Append(out, page);
  if (r.vorbis) {
    ogg_stream_packetin(&audio.stream, &audioHeaders[1]);
    ogg_stream_packetin(&audio.stream, &audioHeaders[2]);
    while (ogg_stream_flush(&audio.stream, &page) != 0) Append(out, page);
  }

  const auto frameWidth = static_cast<int32_t>(info.frame_width);
  const auto frameHeight = static_cast<int32_t>(info.frame_height);
  const int32_t chromaWidth = frameWidth >> ChromaShiftX(r);
  const int32_t chromaHeight = frameHeight >> ChromaShiftY(r);
  Plane y{std::vector<uint8_t>(static_cast<size_t>(frameWidth) * frameHeight), frameWidth, frameHeight};
  Plane u{std::vector<uint8_t>(static_cast<size_t>(chromaWidth) * chromaHeight), chromaWidth, chromaHeight};
  Plane v = u;
  for (int32_t frame = 0; frame < r.frames; ++frame) {
    PaintFrame(r, frame, y, u, v);
    th_ycbcr_buffer buffer;
    buffer[0] = {y.width, y.height, y.width, y.bytes.data()};
    buffer[1] = {u.width, u.height, u.width, u.bytes.data()};
    buffer[2] = {v.width, v.height, v.width, v.bytes.data()};
    th_encode_ycbcr_in(encoder, buffer);
    const bool last = frame == r.frames - 1;
    while (th_encode_packetout(encoder, last ? 1 : 0, &packet) > 0) {
      ogg_stream_packetin(&video, &packet);
      if (r.framesPerPage > 0 && (frame + 1) % r.framesPerPage == 0) {
        while (ogg_stream_flush(&video, &page) != 0) Append(out, page);
      }
      while (ogg_stream_pageout(&video, &page) != 0) Append(out, page);
    }
    if (r.vorbis) FeedVorbis(audio, int64_t{frame + 1} * SampleRate / r.fps, last, out);
  }
  while (ogg_stream_flush(&video, &page) != 0) Append(out, page);
  if (r.vorbis) EndVorbis(audio);
  ogg_stream_clear(&video);
  th_comment_clear(&comment);
  th_encode_free(encoder);
  th_info_clear(&info);
  return out;
}

namespace {

struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  int64_t position;
  int32_t eof;
};

std::map<std::string, std::vector<uint8_t>>& Files() {
  static std::map<std::string, std::vector<uint8_t>> files;
  return files;
}

MemoryFile* AsFile(quelt::FileHandle h) { return reinterpret_cast<MemoryFile*>(h); }

quelt::FileHandle Open(const char* path, int32_t, int32_t, int32_t) {
  auto found = Files().find(path);
  if (found == Files().end()) return 0;
  return reinterpret_cast<quelt::FileHandle>(new MemoryFile{&found->second, 0, 0});
}
int32_t Close(quelt::FileHandle h) {
  delete AsFile(h);
  return 0;
}
int32_t Tell(quelt::FileHandle h) { return static_cast<int32_t>(AsFile(h)->position); }
int32_t Seek(quelt::FileHandle h, int32_t offset, int32_t origin) {
  MemoryFile* f = AsFile(h);
  const auto size = static_cast<int64_t>(f->bytes->size());
  int64_t target = offset;
  if (origin == 1) target += f->position;
  if (origin == 2) target += size;
  f->position = std::clamp<int64_t>(target, 0, size);
  f->eof = 0;
  return 0;
}
int32_t Read(void* dest, int32_t itemSize, int32_t count, quelt::FileHandle h) {
  MemoryFile* f = AsFile(h);
  if (itemSize <= 0 || count <= 0) return 0;
  const auto size = static_cast<int64_t>(f->bytes->size());
  const int64_t items = std::min<int64_t>(count, (size - f->position) / itemSize);
  if (items < count) f->eof = 1;
  if (items > 0) std::memcpy(dest, f->bytes->data() + f->position, static_cast<size_t>(items * itemSize));
  f->position += items * itemSize;
  return static_cast<int32_t>(items);
}
int32_t Eof(quelt::FileHandle h) { return AsFile(h)->eof; }
int32_t Idle(quelt::FileHandle) { return 1; }

const quelt::FileAccessTable Table = {Open, Close, Tell, Seek, Read, Eof, Idle, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

std::vector<MovieRecipe> TestMovieRecipes() {
  std::vector<MovieRecipe> list;
  auto add = [&list](int32_t width, int32_t height, int32_t frames, int32_t framesPerPage, bool vorbis) -> MovieRecipe& {
    MovieRecipe r;
    r.width = width;
    r.height = height;
    r.frames = frames;
    r.framesPerPage = framesPerPage;
    r.vorbis = vorbis;
    list.push_back(r);
    return list.back();
  };
  add(64, 48, 24, 3, false);
  add(64, 48, 40, 2, false);
  for (int32_t frames : {1, 3, 4, 8, 10, 11, 12, 16, 17}) add(64, 48, frames, 0, false);
  add(64, 48, 12, 0, true);
  add(64, 48, 30, 0, true);
  add(16, 16, 2500, 1, false);
  add(64, 48, 4, 0, false).splitTopBottom = true;
  // Chroma layouts beyond 4:2:0, and pictures that do not fill their coded frame.
  add(64, 48, 8, 0, false).pixelFormat = 2;
  add(64, 48, 8, 0, false).pixelFormat = 3;
  add(320, 240, 4, 0, false).pixelFormat = 2;
  add(320, 240, 4, 0, false).pixelFormat = 3;
  add(322, 242, 4, 0, false);
  add(320, 242, 4, 0, false);
  add(322, 240, 4, 0, false);
  add(160, 120, 4, 0, false);
  for (const auto& [width, height] : {std::pair{50, 30}, std::pair{52, 28}}) {
    MovieRecipe& inset = add(width, height, 4, 0, false);
    inset.pictureX = 6;
    inset.pictureY = 4;
  }
  MovieRecipe& bench = add(640, 480, 150, 0, false);
  bench.textured = true;
  bench.keyInterval = 32;
  return list;
}

std::string MovieFileName(const MovieRecipe& r) {
  char name[128];
  std::snprintf(name, sizeof name, "m%dx%d_f%d_r%d_k%d_p%d_v%d_t%d_s%d_c%d_o%d_%d.ogv", r.width, r.height, r.frames,
                r.fps, r.keyInterval, r.framesPerPage, r.vorbis ? 1 : 0, r.textured ? 1 : 0, r.splitTopBottom ? 1 : 0,
                r.pixelFormat, r.pictureX, r.pictureY);
  return name;
}

std::vector<uint8_t> TestMovie(const MovieRecipe& recipe, const std::string& folder) {
  std::vector<uint8_t> bytes = MakeTheoraMovie(recipe);
  if (!bytes.empty()) return bytes;
  std::string path = folder;
  if (path.empty()) {
    const char* binary = std::getenv("QUELT_BINARY_DIR");
    path = std::string(binary != nullptr ? binary : ".") + "/testwork/movie_files";
  }
  path += "/" + MovieFileName(recipe);
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return bytes;
}

void RegisterMemoryFile(const std::string& name, std::vector<uint8_t> bytes) { Files()[name] = std::move(bytes); }

const quelt::FileAccessTable& MemoryFileTable() { return Table; }

void ExpectedRgb(YuvColour c, uint8_t* blue, uint8_t* green, uint8_t* red) {
  auto clamp = [](int32_t x) { return static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x); };
  const int32_t y = 19070 * (c.y - 16);
  *red = clamp((y + 26148 * (c.v - 128)) / 16384);
  *green = clamp((y - 6406 * (c.u - 128) - 13320 * (c.v - 128)) / 16384);
  *blue = clamp((y + 33062 * (c.u - 128)) / 16384);
}

}  // namespace quelt_test
