#include "image/scratch_image.h"

namespace quelt {

ScratchImageTableType ScratchImageTable;

int DeleteScratchImage(EngineHandle handle) {
  ScratchImage* record = ScratchImageTable.Find(handle);
  if (!record) return -1;
  FreeRasterImage(&record->image);
  return ScratchImageTable.Release(handle);
}

int DeleteAllScratchImages() {
  ScratchImageTable.ForEachLive([](EngineHandle handle) { DeleteScratchImage(handle); });
  return 0;
}

}  // namespace quelt
