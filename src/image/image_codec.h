// Image files that are not a plain dump: which format an image's name and
// content say, a decoder that hands out an image's bytes read from its file
// (decompressed, or a virtual disk's sectors), and an encoder that turns a
// created image into its file. The codecs are the libraries' (zlib, liblzma,
// libzstd, minizip, libbz2, liblz4, and libarchive for .7z and tar); the VHD
// footer and tables are ours.
#pragma once

#include "win_api.h"

#include <cstdint>

// The image file's hashes (image_hash.h): a decoder hashes the file's bytes it
// reads, an encoder the bytes it writes.
struct ImageHash;

enum class ImageFormat : uint8_t {
  Plain, Gzip, Xz, Zstd, Zip, Bzip2, Lz4, Vhd,
  SevenZip, Tar, TarGzip, TarXz, TarZstd, TarBzip2,  // archives: one file of them is the image
};

// By the name's extension, in any case: .gz, .xz, .zst, .zip, .bz2, .lz4, .vhd,
// .7z, .tar, .tar.gz (.tgz), .tar.xz, .tar.zst, .tar.bz2; Plain for any other.
ImageFormat ImageFormatFromName(const char* name);
// By an extension without its dot, in lower case ("gz", "tar.gz"); Plain for any other.
ImageFormat ImageFormatFromExtension(const char* extension);
// .7z and the tar forms: the image is one file of the archive (decoder->entryName).
bool ImageFormatIsArchive(ImageFormat format);
// Whether `head` (the file's first bytes) starts with the format's magic; Plain
// has none and always matches; a VHD's is its footer's cookie (CheckImageContent).
bool HasFormatMagic(ImageFormat format, const uint8_t* head, uint32_t headBytes);
// The extension a format's names end in (".gz"); "" for Plain.
const char* ImageFormatExtension(ImageFormat format);
// Whether the file's first bytes are those of `format` (Plain always is; a VHD
// when it starts or ends with the footer's cookie). Leaves the file at its start.
enum class ContentCheck : uint8_t { Matches, Differs, Unreadable };
ContentCheck CheckImageContent(HANDLE file, ImageFormat format);
// The formats a created image can take (.gz, .zst, and .vhd: a fixed disk); a
// create to any other name makes a plain image.
bool CanEncodeFormat(ImageFormat format);

constexpr uint32_t kMagicBytes = 6;           // the longest magic at the start (xz, 7z)
// A tar's magic ("ustar") stands in its first header, after the name and modes.
constexpr uint32_t kTarMagicOffset = 257;
constexpr uint32_t kMagicHeadBytes = kTarMagicOffset + kMagicBytes;  // what is read to tell every format
constexpr uint32_t kEntryNameBytes = 260;     // an archive entry's name as kept (longer ones are cut)
constexpr uint32_t kCodecBufferBytes = 65536; // compressed bytes moved per file read or write

// Memory bounds of decompression. xz's largest preset uses a 64 MiB dictionary,
// which its decoder needs with a little over; zstd accepts what its own tool
// accepts without options (a window up to 2^27 bytes, 128 MiB).
constexpr uint64_t kXzMemoryLimit = 65ull * 1024 * 1024;
// An xz file of several blocks decodes on several threads while all of them,
// each with its block's input and output, fit in this.
constexpr uint64_t kXzThreadsMemoryLimit = 256ull * 1024 * 1024;
constexpr int kZstdWindowLogMax = 27;
// Created images: fast levels that keep up with a USB 2 stick on old machines.
constexpr int kGzipCreateLevel = 1;
constexpr int kZstdCreateLevel = 3;

enum class CodecError : uint8_t {
  None,
  WrongContent,  // named as compressed, but the first bytes are not the format's
  Damaged,       // truncated, corrupt, or a checksum that does not match
  OutOfMemory,   // an allocation failed
  MemoryBound,   // the data needs more memory than the bounds above
  Unsupported,   // a zip without a file, encrypted or neither stored nor deflated; an unknown xz filter;
                 // a differencing VHD (it needs its parent); a .7z or tar without a file, an encrypted
                 // entry, a method the library does not have
  ReadFailed,    // reading the image file failed (systemError)
  WriteFailed,   // writing the image file failed or wrote short (systemError)
  UnknownCheck,  // an xz stream whose check is of a kind liblzma does not know: its data cannot be checked
  Cancelled,     // the job was cancelled while an archive's directory was read
};

// Asked while a decoder reads more than it decodes (a zip's directory); true
// stops it with CodecError::Cancelled. NULL: never. The caller's, process-wide.
extern bool (*codecCancelled)();
// At most this many entries of a zip directory are read: a directory that
// claims more is no image this program writes.
constexpr uint32_t kZipEntriesMax = 65536;

struct ImageDecoder {
  ImageFormat format = ImageFormat::Plain;
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file; the caller's, never closed here
  uint64_t fileBytes = 0;              // size of the compressed file
  uint64_t readBytes = 0;              // compressed bytes read from the file
  uint64_t decodedBytes = 0;           // decompressed bytes handed out
  uint64_t statedBytes = 0;            // decompressed size the format states, when sizeStated
  bool sizeStated = false;
  bool finished = false;               // the end was reached and its checks passed
  // Set at open where the headers say it: some or all of the data carries no
  // checksum (an xz stream without a check, a zstd frame without one).
  bool unchecked = false;
  // At the end: bytes other than zeros follow the last gzip member or zstd
  // frame. The image is whole (finished), but the file is more than it.
  bool trailing = false;
  CodecError error = CodecError::None;
  uint64_t errorOffset = 0;            // decompressed offset where the error was met
  DWORD systemError = 0;               // Win32 error of a failed read
  uint8_t* input = nullptr;            // kCodecBufferBytes of compressed input (gzip, xz, zstd)
  void* state = nullptr;               // the format's own record
  ImageHash* hash = nullptr;           // hashes the file's bytes as read; none when NULL
  char entryName[kEntryNameBytes] = {};  // an archive's file that is the image, as the archive names it
};

// Opens a decoder on `file` (at any position; read from its start) for `format`
// (not Plain). Checks the magic, sets up the library within the memory bounds
// and takes the stated size. On false, `decoder->error` says why and nothing
// needs closing.
bool OpenImageDecoder(ImageDecoder* decoder, HANDLE file, ImageFormat format, ImageHash* hash = nullptr);
// Up to `wanted` decompressed bytes into `out`; fewer only at the end of the
// data. False on an error (decoder->error, errorOffset); *got still counts the
// bytes put into `out` before it.
bool ReadDecodedBytes(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got);
// Progress in comparable units: decompressed bytes against the stated size
// when the format states it, otherwise compressed bytes consumed against the
// file's size. done never exceeds total; both are 0 for an empty file.
struct DecoderProgress {
  uint64_t done = 0;
  uint64_t total = 0;
};
DecoderProgress DecoderProgressOf(const ImageDecoder* decoder);
// Back to the first decompressed byte (for another pass over the image).
bool RewindImageDecoder(ImageDecoder* decoder);
// Frees everything the decoder holds; safe on a decoder that failed to open.
void CloseImageDecoder(ImageDecoder* decoder);

struct ImageEncoder {
  ImageFormat format = ImageFormat::Plain;
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file being created; the caller's
  uint64_t takenBytes = 0;             // uncompressed bytes taken
  uint64_t writtenBytes = 0;           // compressed bytes written to the file
  CodecError error = CodecError::None;
  DWORD systemError = 0;               // Win32 error of a failed or short write
  uint8_t* output = nullptr;           // kCodecBufferBytes of compressed output
  void* state = nullptr;               // the format's own record
  ImageHash* hash = nullptr;           // hashes the file's bytes as written; none when NULL
};

// Opens an encoder writing `format` (CanEncodeFormat) to `file` at its position.
bool OpenImageEncoder(ImageEncoder* encoder, HANDLE file, ImageFormat format, ImageHash* hash = nullptr);
// Compresses `bytes` of `data`, writing compressed output as it fills.
bool WriteEncodedBytes(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes);
// Ends the compressed stream (its trailer and checksum) and writes the rest.
bool FinishImageEncoder(ImageEncoder* encoder);
// Frees everything the encoder holds; safe on one that failed to open.
void CloseImageEncoder(ImageEncoder* encoder);
