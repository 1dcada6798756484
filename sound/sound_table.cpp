#include "core/log.h"
#include "sound/sound.h"

namespace quelt {

SoundTable Sounds;
int32_t SoundCreateType = 0;

int SetSoundCreateType(int32_t type) {
  if (type < 0 || type > 3) return -1;
  SoundCreateType = type;
  return 0;
}

int32_t GetSoundCreateType() { return SoundCreateType; }

int32_t AddSoundData(int32_t) {
  const HandleAlloc<SoundRecord> made = Sounds.Allocate(__FILE__, __LINE__);
  if (made.failure == HandleAllocFailure::TableFull) return WriteLog("サウンドの数が許容量を越えました\n");
  if (made.failure != HandleAllocFailure::None) return WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
  return made.handle;
}

}  // namespace quelt
