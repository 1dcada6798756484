// shaderasm: assembles the engine's shader texts into the embedded shader pack.
//   shaderasm VERTEX.vsh PIXEL.psh OUT.cpp
// OUT.cpp defines EmbeddedShaderPackImage, the LZ-coded archive image holding
// QlShaderPack.bin. The file is rewritten only when its text changes.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/shaderasm/shader_pack_builder.h"

namespace {

bool ReadText(const char* path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: shaderasm VERTEX.vsh PIXEL.psh OUT.cpp\n");
    return 2;
  }
  std::string vertexText, pixelText;
  if (!ReadText(argv[1], &vertexText) || !ReadText(argv[2], &pixelText)) {
    std::fprintf(stderr, "shaderasm: cannot read the shader texts\n");
    return 1;
  }
  std::vector<uint8_t> pack, image;
  std::string error;
  if (!quelt_tools::BuildShaderPack(vertexText, pixelText, &pack, &error) ||
      !quelt_tools::BuildShaderPackImage(pack, &image, &error)) {
    std::fprintf(stderr, "shaderasm: %s\n", error.c_str());
    return 1;
  }
  std::ostringstream out;
  out << "// Made by tools/shaderasm from graphics/shaders at build time.\n"
      << "#include \"graphics/shader_pack_image.h\"\n\nnamespace quelt {\n\n"
      << "// QlShaderPack.bin: " << pack.size() << " bytes.\n"
      << "alignas(4) const uint8_t EmbeddedShaderPackImage[" << image.size() << "] = {";
  for (size_t i = 0; i < image.size(); ++i) {
    if (i % 20 == 0) out << "\n   ";
    out << ' ' << static_cast<unsigned>(image[i]) << ',';
  }
  out << "\n};\nconst uint32_t EmbeddedShaderPackImageSize = " << image.size() << ";\n\n}  // namespace quelt\n";
  std::string old;
  if (ReadText(argv[3], &old) && old == out.str()) return 0;
  std::ofstream file(argv[3], std::ios::binary | std::ios::trunc);
  file << out.str();
  if (!file.good()) {
    std::fprintf(stderr, "shaderasm: cannot write %s\n", argv[3]);
    return 1;
  }
  std::printf("shaderasm: %zu bytes of pack in an image of %zu bytes\n", pack.size(), image.size());
  return 0;
}
