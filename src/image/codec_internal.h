// What the format files of the image codecs share: memory from the process
// heap (so an exhausted heap is a clear error, and every block is counted),
// the image file's reads, writes and seeks, and each format's entry points.
#pragma once

#include "image/image_codec.h"

#include <cstddef>
#include <cstdint>

// Memory for the libraries; NULL when the heap has none (or the size overflows).
void* CodecAlloc(size_t count, size_t size);
void CodecFree(void* block);

// Reads the next compressed bytes into decoder->input: false on a failed read
// (error set), *got 0 at the end of the file.
bool ReadCodecInput(ImageDecoder* decoder, uint32_t* got);
// Puts the file position at `offset`; false (systemError set) when it cannot.
bool SeekCodecFile(HANDLE file, uint64_t offset, DWORD* systemError);
// Reads up to `bytes` at `offset` for a look at the file's headers: not
// counted in readBytes nor hashed (decoding reads them again). False (error
// set) when the seek or the read fails; *got short at the file's end.
bool PeekCodecFile(ImageDecoder* decoder, uint64_t offset, uint8_t* out, uint32_t bytes, uint32_t* got);
// Whether the caller asked to stop (codecCancelled).
bool CodecCancelRequested();
// Records the error at the decoder's current decompressed offset; returns false.
bool FailDecoder(ImageDecoder* decoder, CodecError error);
// Writes `bytes` of the encoder's output to its file; false (error set) on a failed or short write.
bool WriteCodecOutput(ImageEncoder* encoder, uint32_t bytes);
bool FailEncoder(ImageEncoder* encoder, CodecError error);

// Each format: open (the file is at its start, fileBytes known), read, rewind
// (the file is back at its start), close. Same contracts as image_codec.h.
bool OpenGzipDecoder(ImageDecoder* decoder);
bool ReadGzipDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindGzipDecoder(ImageDecoder* decoder);
void CloseGzipDecoder(ImageDecoder* decoder);
uint64_t GzipConsumedBytes(const ImageDecoder* decoder);

bool OpenXzDecoder(ImageDecoder* decoder);
bool ReadXzDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindXzDecoder(ImageDecoder* decoder);
void CloseXzDecoder(ImageDecoder* decoder);
uint64_t XzConsumedBytes(const ImageDecoder* decoder);

bool OpenZstdDecoder(ImageDecoder* decoder);
bool ReadZstdDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindZstdDecoder(ImageDecoder* decoder);
void CloseZstdDecoder(ImageDecoder* decoder);
uint64_t ZstdConsumedBytes(const ImageDecoder* decoder);

bool OpenZipDecoder(ImageDecoder* decoder);
bool ReadZipDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindZipDecoder(ImageDecoder* decoder);
void CloseZipDecoder(ImageDecoder* decoder);

bool OpenBzip2Decoder(ImageDecoder* decoder);
bool ReadBzip2Decoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindBzip2Decoder(ImageDecoder* decoder);
void CloseBzip2Decoder(ImageDecoder* decoder);
uint64_t Bzip2ConsumedBytes(const ImageDecoder* decoder);

bool OpenLz4Decoder(ImageDecoder* decoder);
bool ReadLz4Decoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindLz4Decoder(ImageDecoder* decoder);
void CloseLz4Decoder(ImageDecoder* decoder);
uint64_t Lz4ConsumedBytes(const ImageDecoder* decoder);

// .7z and tar archives (ImageFormatIsArchive); their chosen file's size is stated.
bool OpenArchiveDecoder(ImageDecoder* decoder);
bool ReadArchiveDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindArchiveDecoder(ImageDecoder* decoder);
void CloseArchiveDecoder(ImageDecoder* decoder);

// A VHD states its disk's size; it reads its footer and tables by seeking.
bool OpenVhdDecoder(ImageDecoder* decoder);
bool ReadVhdDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
bool RewindVhdDecoder(ImageDecoder* decoder);
void CloseVhdDecoder(ImageDecoder* decoder);
// Whether the file starts or ends with a VHD footer's cookie; false when it
// cannot be read. Leaves the file at its start.
bool ProbeVhdContent(HANDLE file, uint64_t fileBytes, ContentCheck* check);

bool OpenGzipEncoder(ImageEncoder* encoder);
bool WriteGzipEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes);
bool FinishGzipEncoder(ImageEncoder* encoder);
void CloseGzipEncoder(ImageEncoder* encoder);

bool OpenZstdEncoder(ImageEncoder* encoder);
bool WriteZstdEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes);
bool FinishZstdEncoder(ImageEncoder* encoder);
void CloseZstdEncoder(ImageEncoder* encoder);

bool OpenVhdEncoder(ImageEncoder* encoder);
bool WriteVhdEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes);
bool FinishVhdEncoder(ImageEncoder* encoder);
void CloseVhdEncoder(ImageEncoder* encoder);
