// The Monkey's Audio SDK as the APE media class uses it: CreateIAPEDecompress,
// GetInfo with the SDK's field numbers, GetData and Seek. The header and tag
// are read by our own parsers; the audio is decoded by libavcodec.
#pragma once

#include "ape_tag.h"

#include <cstdint>
#include <string_view>

// The SDK's error codes (those this implementation reports).
constexpr int ERROR_SUCCESS = 0;
constexpr int ERROR_IO_READ = 1000;
constexpr int ERROR_INVALID_INPUT_FILE = 1002;
constexpr int ERROR_UNSUPPORTED_FILE_VERSION = 1006;
constexpr int ERROR_INSUFFICIENT_MEMORY = 2000;
constexpr int ERROR_BAD_PARAMETER = 5000;
constexpr int ERROR_INVALID_CHECKSUM = 1009;  // the audio could not be decoded
constexpr int ERROR_UNDEFINED = -1;

// GetInfo fields, numbered as in the SDK.
enum APE_DECOMPRESS_FIELDS {
  APE_INFO_FILE_VERSION = 1000,
  APE_INFO_COMPRESSION_LEVEL = 1001,
  APE_INFO_FORMAT_FLAGS = 1002,
  APE_INFO_SAMPLE_RATE = 1003,
  APE_INFO_BITS_PER_SAMPLE = 1004,
  APE_INFO_BYTES_PER_SAMPLE = 1005,
  APE_INFO_CHANNELS = 1006,
  APE_INFO_BLOCK_ALIGN = 1007,
  APE_INFO_BLOCKS_PER_FRAME = 1008,
  APE_INFO_FINAL_FRAME_BLOCKS = 1009,
  APE_INFO_TOTAL_FRAMES = 1010,
  APE_INFO_WAV_HEADER_BYTES = 1011,
  APE_INFO_WAV_TERMINATING_BYTES = 1012,
  APE_INFO_WAV_DATA_BYTES = 1013,
  APE_INFO_WAV_TOTAL_BYTES = 1014,
  APE_INFO_APE_TOTAL_BYTES = 1015,
  APE_INFO_TOTAL_BLOCKS = 1016,
  APE_INFO_LENGTH_MS = 1017,
  APE_INFO_AVERAGE_BITRATE = 1018,
  APE_INFO_PEAK_LEVEL = 1021,
  APE_INFO_TAG = 1030,
  APE_DECOMPRESS_CURRENT_BLOCK = 2000,
  APE_DECOMPRESS_CURRENT_MS = 2001,
  APE_DECOMPRESS_TOTAL_BLOCKS = 2002,
  APE_DECOMPRESS_LENGTH_MS = 2003,
};

class IAPEDecompress {
 public:
  virtual ~IAPEDecompress() = default;

  // Decodes up to `blocks` sample frames of interleaved little-endian PCM in
  // the file's own format (8-bit unsigned, 16- or 24-bit signed) into
  // `buffer`; *retrieved tells how many. Fewer than asked only at the end of
  // the file. Returns ERROR_SUCCESS, or an error when a frame cannot be read
  // (what it lacks then plays as silence, so that later frames keep their time).
  virtual int GetData(char* buffer, int blocks, int* retrieved) = 0;
  // Positions at sample frame `block` (0 … total blocks; the total is the end).
  // ERROR_BAD_PARAMETER outside that range, the position unchanged.
  virtual int Seek(int block) = 0;
  // The field's value; APE_INFO_TAG gives a CAPETag* (owned by this object)
  // cast to intptr_t. Unknown fields give 0.
  virtual intptr_t GetInfo(APE_DECOMPRESS_FIELDS field, intptr_t parameter1 = 0, intptr_t parameter2 = 0) = 0;
};

// Opens a Monkey's Audio file for decoding; null (with the reason in
// *errorCode when given) when the file is missing, not Monkey's Audio, of a
// version the decoder does not know, or holds no decodable audio. The caller
// deletes the object.
IAPEDecompress* CreateIAPEDecompress(const char* path, int* errorCode);
// The same over a whole file's bytes in memory, which must outlive the object.
IAPEDecompress* CreateIAPEDecompressFromMemory(std::string_view bytes, int* errorCode);
