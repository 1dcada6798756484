// The sound table and the create type, shared by the Windows sound layer and its tests.
#include "sound/sound.h"

namespace quelt {

SoundTable Sounds;
int32_t SoundCreateType = 0;

}  // namespace quelt
