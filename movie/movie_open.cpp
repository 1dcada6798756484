#include "movie/movie_open.h"

#include "core/log.h"
#include "movie/movie_table.h"

namespace quelt {

EngineHandle OpenMovie(const char* /*path*/, int32_t* /*width*/, int32_t* /*height*/,
                       int32_t /*surfaceMode*/) {
  WriteLogFormat("ムービーファイルオープン処理時にエラーが発生しました");
  return -1;
}

int CloseMovie(EngineHandle movie) {
  if (MovieTable.Find(movie) == nullptr) return -1;
  return MovieTable.Release(movie);
}

}  // namespace quelt
