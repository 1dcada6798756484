// The entry layer's forwarding entries into sound.
#include "core/entry/api_entry.h"
#include "sound/sound.h"

namespace quelt {

int32_t ApiLoadSoundFile(const char* path, int32_t buffer_count, int32_t flag) {
  return LoadSoundFile(path, buffer_count, flag);
}
int ApiPlaySoundHandle(int32_t sound, int32_t play_type, int32_t from_start) {
  return PlaySoundHandle(sound, play_type, from_start);
}
int ApiStopSoundHandle(int32_t sound) { return StopSoundHandle(sound); }

}  // namespace quelt
