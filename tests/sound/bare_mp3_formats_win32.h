#pragma once
// The formats a bare ACM program hands acmStreamOpen for an MP3 file: the first frame's
// MPEG layer-3 description and 16-bit PCM of its rate and channels.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include "sound/mpeg_frames.h"

namespace quelt {

inline void BareMp3Formats(const MpegFrameHeader& first, MPEGLAYER3WAVEFORMAT* source, WAVEFORMATEX* output) {
  *source = {};
  source->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  source->wfx.nChannels = static_cast<WORD>(first.channels);
  source->wfx.nSamplesPerSec = static_cast<DWORD>(first.sampleRate);
  source->wfx.nAvgBytesPerSec = static_cast<DWORD>(first.bitRate * 1000 / 8);
  source->wfx.nBlockAlign = 1;
  source->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  source->wID = MPEGLAYER3_ID_MPEG;
  source->nBlockSize = static_cast<WORD>(first.frameLength);
  source->nFramesPerBlock = 1;
  source->nCodecDelay = 700;
  *output = {};
  output->wFormatTag = WAVE_FORMAT_PCM;
  output->nChannels = source->wfx.nChannels;
  output->nSamplesPerSec = source->wfx.nSamplesPerSec;
  output->wBitsPerSample = 16;
  output->nBlockAlign = static_cast<WORD>(2 * output->nChannels);
  output->nAvgBytesPerSec = output->nSamplesPerSec * output->nBlockAlign;
}

}  // namespace quelt
