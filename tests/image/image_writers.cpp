#include "image/image_writers.h"

#include <cstdio>
#include <cstring>

namespace quelt_test {
namespace {

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set32(Bytes& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Pack(uint32_t colour, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int width = 0;
  while ((mask >> (shift + width)) & 1) ++width;
  return ((colour >> (8 - (width > 8 ? 8 : width))) << shift) & mask;
}

// RLE8/RLE4 data for one row: runs for repeats, literals otherwise.
void EncodeRleRow(const uint8_t* row, int width, bool fourBit, Bytes& out) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 3 || width - x < 3) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(fourBit ? static_cast<uint8_t>(row[x] << 4 | row[x]) : row[x]);
      x += run;
      continue;
    }
    int literal = 0;
    while (x + literal < width && literal < 255) {
      if (x + literal + 2 < width && row[x + literal] == row[x + literal + 1] &&
          row[x + literal] == row[x + literal + 2]) {
        break;
      }
      ++literal;
    }
    if (literal < 3) literal = 3 <= width - x ? 3 : width - x;
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(literal));
    size_t bytes = 0;
    for (int i = 0; i < literal; ++i) {
      if (fourBit) {
        if (i & 1) {
          out.back() |= row[x + i];
        } else {
          out.push_back(static_cast<uint8_t>(row[x + i] << 4));
          ++bytes;
        }
      } else {
        out.push_back(row[x + i]);
        ++bytes;
      }
    }
    if (bytes & 1) out.push_back(0);
    x += literal;
  }
}

}  // namespace

Picture MakeIndexPicture(int width, int height, int paletteSize, uint32_t seed) {
  Picture p;
  p.width = width;
  p.height = height;
  for (int i = 0; i < paletteSize; ++i) p.palette.push_back(NextRandom(seed) & 0xFFFFFF);
  for (int i = 0; i < width * height; ++i) {
    // Runs of equal values so that run-length coding has something to do.
    const uint32_t r = NextRandom(seed);
    p.indices.push_back(static_cast<uint8_t>((r % 4 == 0 && i > 0) ? p.indices.back() : r % paletteSize));
  }
  return p;
}

Picture MakeColourPicture(int width, int height, uint32_t seed) {
  Picture p;
  p.width = width;
  p.height = height;
  for (int i = 0; i < width * height; ++i) {
    const uint32_t c = NextRandom(seed) ^ (NextRandom(seed) << 24);
    p.colours.push_back((c % 5 == 0 && i > 0) ? p.colours.back() : c);
  }
  return p;
}

Bytes WriteBmp(const Picture& pic, const BmpOptions& o) {
  const int w = pic.width, h = pic.height;
  Bytes header(14 + o.headerSize, 0);
  header[0] = 'B';
  header[1] = 'M';
  Set32(header, 14, static_cast<uint32_t>(o.headerSize));
  Set32(header, 18, static_cast<uint32_t>(w));
  Set32(header, 22, static_cast<uint32_t>(o.topDown ? -h : h));
  header[26] = 1;
  header[28] = static_cast<uint8_t>(o.bitCount);
  Set32(header, 30, static_cast<uint32_t>(o.compression));
  Set32(header, 46, static_cast<uint32_t>(o.coloursUsed));
  Bytes colours;
  if (o.compression == 3) {
    if (o.headerSize >= 52) {
      for (int i = 0; i < 3; ++i) Set32(header, 54 + 4 * i, o.masks[i]);
    } else {
      for (uint32_t m : o.masks) Put32(colours, m);
    }
  } else if (o.bitCount <= 8) {
    const int entries = o.coloursUsed ? o.coloursUsed : 1 << o.bitCount;
    for (int i = 0; i < entries; ++i) {
      Put32(colours, i < static_cast<int>(pic.palette.size()) ? pic.palette[i] | 0xAA000000u : 0);
    }
  }
  for (int i = 0; i < o.gapAfterHeader; ++i) colours.push_back(0xEE);

  Bytes data;
  const int rowBytes = (o.bitCount * w + 31) / 32 * 4;
  for (int r = 0; r < h; ++r) {
    const int y = o.topDown ? r : h - 1 - r;
    if (o.compression == 1 || o.compression == 2) {
      EncodeRleRow(&pic.indices[static_cast<size_t>(y) * w], w, o.compression == 2, data);
      data.push_back(0);
      data.push_back(r == h - 1 ? 1 : 0);
      continue;
    }
    Bytes row(rowBytes, 0);
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      switch (o.bitCount) {
        case 1: row[x / 8] |= static_cast<uint8_t>((pic.indices[i] & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<uint8_t>((pic.indices[i] & 15) << ((x & 1) ? 0 : 4)); break;
        case 8: row[x] = pic.indices[i]; break;
        case 16: {
          const uint32_t c = pic.colours[i];
          const uint32_t* m = o.masks;
          const uint32_t v = o.compression == 3
                                 ? Pack(c >> 16 & 0xFF, m[0]) | Pack(c >> 8 & 0xFF, m[1]) | Pack(c & 0xFF, m[2])
                                 : Pack(c >> 16 & 0xFF, 0x7C00) | Pack(c >> 8 & 0xFF, 0x3E0) | Pack(c & 0xFF, 0x1F);
          row[x * 2] = static_cast<uint8_t>(v);
          row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
          break;
        }
        case 24:
          row[x * 3] = static_cast<uint8_t>(pic.colours[i]);
          row[x * 3 + 1] = static_cast<uint8_t>(pic.colours[i] >> 8);
          row[x * 3 + 2] = static_cast<uint8_t>(pic.colours[i] >> 16);
          break;
        default: {
          const uint32_t c = pic.colours[i];
          const uint32_t v = o.compression == 3
                                 ? Pack(c >> 16 & 0xFF, o.masks[0]) | Pack(c >> 8 & 0xFF, o.masks[1]) |
                                       Pack(c & 0xFF, o.masks[2])
                                 : c;
          for (int k = 0; k < 4; ++k) row[x * 4 + k] = static_cast<uint8_t>(v >> (8 * k));
          break;
        }
      }
    }
    data.insert(data.end(), row.begin(), row.end());
  }
  Bytes out = header;
  out.insert(out.end(), colours.begin(), colours.end());
  Set32(out, 10, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), data.begin(), data.end());
  Set32(out, 2, static_cast<uint32_t>(out.size()));
  return out;
}

Bytes WriteTga(const Picture& pic, const TgaOptions& o) {
  const bool mapped = o.type == 1 || o.type == 9;
  const bool rle = o.type == 9 || o.type == 10;
  const int bytes = o.depth / 8;
  Bytes out;
  out.push_back(static_cast<uint8_t>(o.idLength));
  out.push_back(mapped || o.colourMapInTrueColour ? 1 : 0);
  out.push_back(static_cast<uint8_t>(o.type));
  Put16(out, 0);
  const int mapLength = mapped ? static_cast<int>(pic.palette.size()) : (o.colourMapInTrueColour ? 3 : 0);
  Put16(out, static_cast<uint32_t>(mapLength));
  out.push_back(mapped ? static_cast<uint8_t>(o.depth) : (o.colourMapInTrueColour ? 24 : 0));
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(pic.width));
  Put16(out, static_cast<uint32_t>(pic.height));
  out.push_back(mapped ? 8 : static_cast<uint8_t>(o.depth));
  out.push_back(static_cast<uint8_t>((o.topFirst ? 0x20 : 0) | (o.rightToLeft ? 0x10 : 0) | (o.depth == 32 ? 8 : 0)));
  for (int i = 0; i < o.idLength; ++i) out.push_back(static_cast<uint8_t>('I' + i));
  auto putColour = [&](Bytes& to, uint32_t c) {
    if (bytes == 2) {
      Put16(to, ((c >> 19 & 31) << 10) | ((c >> 11 & 31) << 5) | (c >> 3 & 31) | (c & 0x80000000u ? 0x8000 : 0));
    } else {
      for (int k = 0; k < bytes; ++k) to.push_back(static_cast<uint8_t>(c >> (8 * k)));
    }
  };
  if (mapped) {
    for (uint32_t c : pic.palette) putColour(out, c | 0xFF000000u);
  } else if (o.colourMapInTrueColour) {
    for (int i = 0; i < 9; ++i) out.push_back(0x55);
  }
  // Elements in file order.
  std::vector<Bytes> elements;
  for (int r = 0; r < pic.height; ++r) {
    const int y = o.topFirst ? r : pic.height - 1 - r;
    for (int c = 0; c < pic.width; ++c) {
      const int x = o.rightToLeft ? pic.width - 1 - c : c;
      const size_t i = static_cast<size_t>(y) * pic.width + x;
      Bytes e;
      if (mapped) e.push_back(pic.indices[i]);
      else putColour(e, pic.colours[i]);
      elements.push_back(e);
    }
  }
  if (!rle) {
    for (const Bytes& e : elements) out.insert(out.end(), e.begin(), e.end());
  } else {
    size_t i = 0;
    while (i < elements.size()) {
      size_t run = 1;
      while (i + run < elements.size() && run < 128 && elements[i + run] == elements[i]) ++run;
      if (run >= 2) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), elements[i].begin(), elements[i].end());
        i += run;
        continue;
      }
      size_t raw = 1;
      while (i + raw < elements.size() && raw < 128 &&
             !(i + raw + 1 < elements.size() && elements[i + raw] == elements[i + raw + 1])) {
        ++raw;
      }
      out.push_back(static_cast<uint8_t>(raw - 1));
      for (size_t k = 0; k < raw; ++k) out.insert(out.end(), elements[i + k].begin(), elements[i + k].end());
      i += raw;
    }
  }
  if (o.footer) {
    uint32_t extension = 0;
    if (o.extensionArea) {
      extension = static_cast<uint32_t>(out.size());
      Put16(out, 495);
      out.resize(out.size() + 493, 0);
    }
    Put32(out, extension);
    Put32(out, 0);
    const char* sig = "TRUEVISION-XFILE.";
    out.insert(out.end(), sig, sig + 18);
  }
  return out;
}

uint32_t FourCC(const char* code) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
         uint32_t(uint8_t(code[3])) << 24;
}

Bytes WriteDds(const DdsOptions& o, const Bytes& data) {
  Bytes out = {'D', 'D', 'S', static_cast<uint8_t>(o.magic3)};
  Bytes h(124, 0);
  uint32_t flags = 0x1007;
  if (o.pitch) flags |= 0x8;
  if (o.mipCount) flags |= 0x20000;
  Set32(h, 0, 124);
  Set32(h, 4, flags);
  Set32(h, 8, o.height);
  Set32(h, 12, o.width);
  Set32(h, 16, o.pitch);
  Set32(h, 24, o.mipCount);
  Set32(h, 72, 32);
  Set32(h, 76, o.pixelFlags);
  Set32(h, 80, o.fourCC);
  Set32(h, 84, o.bitCount);
  for (int i = 0; i < 4; ++i) Set32(h, 88 + 4 * i, o.masks[i]);
  Set32(h, 104, o.mipCount ? 0x401008 : 0x1000);
  out.insert(out.end(), h.begin(), h.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes WriteBgra8(const Picture& pic) {
  Bytes out = {'B', 'G', 'R', 'A'};
  Put32(out, 0x08080808);
  Put32(out, static_cast<uint32_t>(pic.width));
  Put32(out, static_cast<uint32_t>(pic.height));
  for (uint32_t c : pic.colours) Put32(out, c);
  return out;
}

Bytes WriteBgra16(const Picture& pic, uint32_t seed) {
  Bytes out = {'B', 'G', 'R', 'A'};
  Put32(out, 0x10101010);
  Put32(out, static_cast<uint32_t>(pic.width));
  Put32(out, static_cast<uint32_t>(pic.height));
  for (uint32_t c : pic.colours) {
    for (int k = 0; k < 4; ++k) Put16(out, ((c >> (8 * k)) & 0xFF) << 8 | (NextRandom(seed) & 0xFF));
  }
  return out;
}

bool SaveFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace quelt_test
