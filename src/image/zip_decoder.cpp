// zip images through minizip: the archive's only file, or its largest one (not empty),
// stored or deflated, checked against its CRC-32 and its stated length.
// minizip reads the archive through the callbacks below, so it sees the image
// file's handle as every other format does.
#include "image/codec_internal.h"
#include "image/image_hash.h"

#include <minizip/unzip.h>

#include <cstring>

namespace {

struct ZipState {
  unzFile archive;
  unz64_file_pos entry;  // where the chosen file's directory record is
  bool entryOpen;        // unzOpenCurrentFile succeeded, unzCloseCurrentFile is due
};

ZipState* StateOf(ImageDecoder* decoder) { return static_cast<ZipState*>(decoder->state); }

constexpr uLong kEncryptedFlag = 0x0001;
constexpr uint32_t kEntriesPerCancelCheck = 256;  // a directory of a few entries is read at once
constexpr uLong kMethodStored = 0;
constexpr uLong kMethodDeflated = Z_DEFLATED;

// ---- the archive file, as minizip asks for it
voidpf ZCALLBACK OpenArchive(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK ReadArchive(voidpf, voidpf stream, void* buffer, uLong size) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(stream);
  DWORD read = 0;
  if (!ReadFile(decoder->file, buffer, static_cast<DWORD>(size), &read, nullptr)) {
    decoder->systemError = GetLastError();
    return 0;
  }
  decoder->readBytes += read;
  HashAfterRead(decoder->hash, decoder->file, static_cast<const uint8_t*>(buffer), read);
  return read;
}

uLong ZCALLBACK WriteArchive(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellArchive(voidpf, voidpf stream) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(stream);
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(decoder->file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    decoder->systemError = GetLastError();
    return static_cast<ZPOS64_T>(-1);
  }
  return (static_cast<ZPOS64_T>(static_cast<uint32_t>(high)) << 32) | low;
}

long ZCALLBACK SeekArchive(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(stream);
  uint64_t target = offset;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
    const ZPOS64_T here = TellArchive(nullptr, stream);
    if (here == static_cast<ZPOS64_T>(-1)) return -1;
    target = here + offset;
  } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
    target = decoder->fileBytes + offset;
  } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
    return -1;
  }
  return SeekCodecFile(decoder->file, target, &decoder->systemError) ? 0 : -1;
}

int ZCALLBACK CloseArchive(voidpf, voidpf) { return 0; }  // the handle is the caller's

int ZCALLBACK ArchiveError(voidpf, voidpf stream) {
  return static_cast<ImageDecoder*>(stream)->systemError != 0 ? 1 : 0;
}

CodecError ErrorOf(ImageDecoder* decoder, int result) {
  if (decoder->systemError != 0) return CodecError::ReadFailed;
  if (result == UNZ_INTERNALERROR || result == Z_MEM_ERROR) return CodecError::OutOfMemory;
  return CodecError::Damaged;  // bad records, short data, bad deflate data, CRC-32
}

// The largest file of the archive (the first of equals); folders (named with
// either slash at the end) and empty files are no image. At most
// kZipEntriesMax entries are read, and a cancel stops the reading.
bool ChooseEntry(ImageDecoder* decoder) {
  ZipState* state = StateOf(decoder);
  bool found = false;
  uint64_t largest = 0;
  unz_global_info64 global;
  int result = unzGetGlobalInfo64(state->archive, &global);
  if (result != UNZ_OK) return FailDecoder(decoder, ErrorOf(decoder, result));
  if (global.number_entry > kZipEntriesMax) return FailDecoder(decoder, CodecError::Unsupported);
  uint32_t entries = 0;
  result = unzGoToFirstFile(state->archive);
  while (result == UNZ_OK) {
    // The directory may hold more records than its end record says.
    if (++entries > kZipEntriesMax) return FailDecoder(decoder, CodecError::Unsupported);
    if (entries % kEntriesPerCancelCheck == 0 && CodecCancelRequested()) {
      return FailDecoder(decoder, CodecError::Cancelled);
    }
    unz_file_info64 info;
    char name[kEntryNameBytes];
    result = unzGetCurrentFileInfo64(state->archive, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
    if (result != UNZ_OK) break;
    const size_t nameLength = info.size_filename < sizeof(name) ? info.size_filename : sizeof(name) - 1;
    name[nameLength] = '\0';
    const bool directory = nameLength > 0 && (name[nameLength - 1] == '/' || name[nameLength - 1] == '\\');
    if (!directory && info.uncompressed_size > 0 && (!found || info.uncompressed_size > largest)) {
      found = true;
      largest = info.uncompressed_size;
      std::memcpy(decoder->entryName, name, nameLength + 1);
      result = unzGetFilePos64(state->archive, &state->entry);
      if (result != UNZ_OK) break;
    }
    result = unzGoToNextFile(state->archive);
  }
  if (result != UNZ_END_OF_LIST_OF_FILE) return FailDecoder(decoder, ErrorOf(decoder, result));
  if (!found) return FailDecoder(decoder, CodecError::Unsupported);
  decoder->statedBytes = largest;
  decoder->sizeStated = true;
  return true;
}

bool OpenEntry(ImageDecoder* decoder) {
  ZipState* state = StateOf(decoder);
  int result = unzGoToFilePos64(state->archive, &state->entry);
  unz_file_info64 info;
  if (result == UNZ_OK) result = unzGetCurrentFileInfo64(state->archive, &info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (result != UNZ_OK) return FailDecoder(decoder, ErrorOf(decoder, result));
  if ((info.flag & kEncryptedFlag) != 0) return FailDecoder(decoder, CodecError::Unsupported);
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) {
    return FailDecoder(decoder, CodecError::Unsupported);
  }
  result = unzOpenCurrentFile(state->archive);
  if (result != UNZ_OK) return FailDecoder(decoder, ErrorOf(decoder, result));
  state->entryOpen = true;
  return true;
}

}  // namespace

bool OpenZipDecoder(ImageDecoder* decoder) {
  ZipState* state = static_cast<ZipState*>(CodecAlloc(1, sizeof(ZipState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = ZipState{};
  decoder->state = state;
  zlib_filefunc64_def files{OpenArchive, ReadArchive, WriteArchive, TellArchive,
                            SeekArchive, CloseArchive, ArchiveError, decoder};
  state->archive = unzOpen2_64("", &files);
  if (state->archive == nullptr) {
    return FailDecoder(decoder, decoder->systemError != 0 ? CodecError::ReadFailed : CodecError::Damaged);
  }
  return ChooseEntry(decoder) && OpenEntry(decoder);
}

bool ReadZipDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  ZipState* state = StateOf(decoder);
  uint32_t filled = 0;
  bool ok = true;
  while (filled < wanted) {
    const int result = unzReadCurrentFile(state->archive, out + filled, wanted - filled);
    if (result < 0) {
      ok = FailDecoder(decoder, ErrorOf(decoder, result));
      break;
    }
    if (result == 0) {
      // The end: all the stated bytes, and a matching CRC-32.
      const int closed = unzCloseCurrentFile(state->archive);
      state->entryOpen = false;
      if (closed != UNZ_OK || decoder->decodedBytes + filled != decoder->statedBytes) {
        ok = FailDecoder(decoder, ErrorOf(decoder, closed == UNZ_OK ? UNZ_BADZIPFILE : closed));
      } else {
        decoder->finished = true;
      }
      break;
    }
    filled += static_cast<uint32_t>(result);
  }
  *got = filled;
  return ok;
}

bool RewindZipDecoder(ImageDecoder* decoder) {
  ZipState* state = StateOf(decoder);
  if (state->entryOpen) unzCloseCurrentFile(state->archive);
  state->entryOpen = false;
  return OpenEntry(decoder);
}

void CloseZipDecoder(ImageDecoder* decoder) {
  ZipState* state = StateOf(decoder);
  if (state->entryOpen) unzCloseCurrentFile(state->archive);
  if (state->archive != nullptr) unzClose(state->archive);
  CodecFree(state);
}
