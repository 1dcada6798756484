// The native builds have no Audio Compression Manager: compressed WAV and MPEG audio are
// refused (the parsing beneath them builds and is tested natively all the same).
#include "sound/pcm_converter.h"

namespace quelt {

int OpenAcmWaveConverter(PcmConverter*) { return -1; }
int OpenMpegAcmConverter(PcmConverter*) { return -1; }
int ConvertAcmBlock(PcmConverter*, uint8_t*) { return -1; }
int SeekAcmConverter(PcmConverter*, int64_t) { return -1; }
int CloseAcmConverter(PcmConverter*) { return 0; }
int64_t GetAcmConverterSize(PcmConverter*) { return 0; }

}  // namespace quelt
