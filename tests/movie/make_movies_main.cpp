// Writes every test movie into the folder given, with the host's libtheora encoder (the
// Windows libraries are built without one).
#include <cstdio>
#include <string>

#include "movie/theora_movie_maker.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (const quelt_test::MovieRecipe& recipe : quelt_test::TestMovieRecipes()) {
    const std::vector<uint8_t> bytes = quelt_test::MakeTheoraMovie(recipe);
    if (bytes.empty()) return 1;
    const std::string path = std::string(argv[1]) + "/" + quelt_test::MovieFileName(recipe);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
    std::fclose(f);
  }
  return 0;
}
