// Helpers the test encoder's tests share: files, the black-box decoders and SNR.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace AacEncTestSupport {

std::vector<uint8_t> readBytes(const std::string &path);
void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes);
// Little-endian 16-bit PCM of a file.
std::vector<int16_t> readPcm(const std::string &path);
// True when the program is on PATH.
bool haveProgram(const char *name);
// Decodes a LOAS file with ffmpeg into interleaved 16-bit PCM; false when ffmpeg failed.
bool decodeLoasWithFfmpeg(const std::string &loasPath, std::vector<int16_t> &pcm);

// Decodes an ADTS or MP4 file with faad into interleaved 16-bit PCM of `channels`
// channels (faad writes one channel twice); false when faad failed.
bool decodeWithFaad(const std::string &path, int channels, std::vector<int16_t> &pcm);

// SNR in dB of the decoded signal against the input (interleaved), at the delay of 0,
// 1 or 2 frames that fits best, leaving out the first and last frame of the input.
double snrDb(const std::vector<int16_t> &input, const std::vector<int16_t> &decoded, int channels, int frame,
             int *delayOut = nullptr);

} // namespace AacEncTestSupport
