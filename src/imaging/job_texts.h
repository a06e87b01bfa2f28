// Every text the imaging worker shows: button captions, tool tips, status
// words, message box texts and captions.
#pragma once

#include <cinttypes>
#include <cstdint>

// Start/Cancel button (control 1008) and its tool tip
constexpr char kButtonCancel[] = "Cancel";
constexpr char kButtonStart[] = "Start";
constexpr char kTipCancel[] = "Cancel imaging process";
constexpr char kTipStart[] = "Start transfer";

// Outcome words in the status line
constexpr char kWordCompleted[] = "Completed";
constexpr char kWordCancelled[] = "Cancelled";
constexpr char kWordFailed[] = "Failed";

// Outcome boxes carry Chinese, so they go through the wide-character call.
constexpr wchar_t kWriteCompletedText[] = L"映像写入完成";
constexpr wchar_t kWriteCancelledText[] = L"Image Write Cancelled";
constexpr wchar_t kWriteFailedText[] = L"映像写入失败";
constexpr wchar_t kCreateCompletedText[] = L"映像创建完成";
constexpr wchar_t kCreateCancelledText[] = L"Image Creation Cancelled";
constexpr wchar_t kCreateFailedText[] = L"映像创建失败";
// Added on a line of its own to the outcome of a trimmed create whose disk had
// no partition table that could be trusted.
constexpr wchar_t kWholeDiskCopiedText[] = L"No partition table was trusted, so the whole disk was copied.";
constexpr wchar_t kWholeDiskStoppedText[] = L"No partition table was trusted, so the whole disk was being copied.";
// Added to the outcome of a write that left out the image's end beyond the
// disk (the user agreed at Start): how many bytes, and why they are not needed.
constexpr char kLeftOutFormat[] = "The image's last %" PRIu64 " bytes were left out: they lie beyond the end of the disk, and %s";
constexpr char kLeftOutZeros[] = "every one of them is zero.";
constexpr char kLeftOutUnpartitioned[] = "they follow the image's last partition, so no partition needs them.";
constexpr uint32_t kNoteTextBytes = 192;
// Added to the outcome of a write whose compressed image carried no checksum.
constexpr char kNoChecksumNote[] =
    "The image carried no checksum, so its content could not be checked as it was decompressed.";
constexpr uint32_t kOutcomeTextChars = 640;
// Added to the box of a write that ended unfinished after it had cleared the
// disk's first MiB (the image's head is written last).
constexpr wchar_t kHeadClearedText[] =
    L"The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.";
constexpr char kHeadClearedNote[] =
    "The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.";
constexpr wchar_t kCaptionSuccess[] = L"Success";
constexpr wchar_t kCaptionCancelled[] = L"Cancelled";
constexpr wchar_t kCaptionFailure[] = L"Failure";

// Device failures
constexpr char kOpenForWritingFailed[] = "Unable to open disk for writing!";
constexpr char kOpenForReadingFailed[] = "Unable to open disk for reading!";
constexpr char kDiskErrorCaption[] = "Disk Error";
// The error value is 32-bit unsigned and the sector 64-bit, so neither is cut
// or shown negative; the words (spelling included) are those users know.
constexpr char kDiskWriteErrorFormat[] = "Error #%lu occured while writting to disk at sector %" PRIu64 " ";
constexpr uint32_t kDiskWriteErrorTextBytes = 256;

// A volume of the physical disk to be written cannot be locked: the drive
// letter in use, then the disk's digit; nothing has been written.
constexpr char kDriveInUseFormat[] =
    "Drive %c: is in use, so Physical Disk %c cannot be written now. Close the files and windows open on "
    "drive %c: and try again. Nothing was written.";
// The drive letter to be written cannot be locked, or will not dismount.
constexpr char kLetterInUseFormat[] =
    "Drive %c: is in use, so it cannot be written now. Close the files and windows open on drive %c: and "
    "try again. Nothing was written.";
constexpr char kDriveInUseCaption[] = "Drive In Use";
constexpr uint32_t kDriveInUseTextBytes = 192;

// Compressed images that cannot be read on (write) or made (create). The box
// says why, and how much of the image reached the disk.
constexpr char kImageProblemCaption[] = "Failure";
constexpr char kImageDamagedReason[] =
    "The image file is damaged: it is cut short or corrupt, or a checksum in it does not match.";
constexpr char kImageNoMemoryReason[] = "There is not enough memory to decompress the image file.";
constexpr char kImageMemoryBoundReason[] =
    "The image file needs more memory to decompress than this program allows "
    "(65 MiB for xz, a 128 MiB window for Zstandard).";
constexpr char kImageUnsupportedReason[] =
    "The image file is compressed in a form this program cannot read "
    "(from a zip archive only a file that is stored or deflated and not encrypted; from a 7z or tar "
    "archive only a file that is not encrypted, in a method this program has).";
constexpr char kImageProblemFormat[] = "%s\r\nIt stops at byte %" PRIu64 " of the image; %s";
constexpr char kImagePartWritten[] = "what came before was written to the disk, nothing after it.";
constexpr char kImageNoneWritten[] = "nothing was written to the disk.";
constexpr uint32_t kImageProblemTextBytes = 512;
constexpr char kNoMemoryToCompress[] =
    "There is not enough memory to compress the image.\r\nNothing was read from the disk and the image file is empty.";

// Verification after a write: the disk read back and compared with the image.
constexpr wchar_t kWriteNotVerifiedText[] = L"Image written but not verified: the verification was cancelled";
constexpr char kVerifyErrorCaption[] = "Verify Error";
constexpr char kVerifyDiffersFormat[] =
    "The disk does not hold the image: sector %" PRIu64 " reads back different from the image. "
    "The disk may be smaller than it reports, or failing.";
constexpr char kVerifyReadErrorFormat[] =
    "Error #%lu occurred while reading the disk back at sector %" PRIu64 ". "
    "The image was written, but the disk could not be verified.";
constexpr char kVerifyImageErrorFormat[] =
    "The image could not be read again at sector %" PRIu64 " (error #%lu). "
    "The image was written, but the disk could not be verified.";
constexpr uint32_t kVerifyErrorTextBytes = 384;

// Checksums. A write checked against its publisher's sum: the hash's name
// ("SHA-256") and the checksum file's name; on a difference both sums.
constexpr char kSumMatchedFormat[] = "The image file matched the %s sum in %s.";
constexpr char kSumDiffersFormat[] =
    "The image file is not the one its checksum file describes: its %s differs from the sum in %s.\r\n"
    "Sum in %s:\r\n%s\r\nSum of the image file:\r\n%s\r\n"
    "The image was written to the disk, but it is not the image that was published.";
constexpr char kSumUnreadFormat[] =
    "The image file could not be read to its end for its %s (error #%lu), so it is not known whether it is "
    "the one %s describes.";
// A created image's sum file, named; on a failure the error too.
constexpr char kSumFileWrittenFormat[] = "Its SHA-256 sum was written to %s.";
constexpr char kSumFileFailedFormat[] = "Its SHA-256 sum could not be written to %s (error #%lu).";
constexpr uint32_t kSumTextBytes = 1536;
// The checksums of an image on demand: a file that cannot be read to its end.
constexpr char kSumsUnreadFormat[] =
    "The image file could not be read to its end (error #%lu); no checksums were computed.";
constexpr char kSumsCaption[] = "Checksums";

// Disk tools: the real-capacity check and restoring a disk as an ordinary drive.
constexpr char kCheckCaption[] = "Capacity Check";
constexpr char kCheckSizeUnknown[] = "The disk does not report its size, so it cannot be checked. Nothing was written.";
constexpr char kCheckAllGoodFormat[] =
    "Every sector holds what was written: all %" PRIu64 " sectors (%s) were written, read back and matched.";
constexpr char kCheckKeepsFirstFormat[] =
    "The device keeps only its first %" PRIu64 " sectors (%s) of the %" PRIu64 " sectors (%s) it reports.\r\n"
    "First failing sector: %" PRIu64 "; sectors that failed: %" PRIu64 ".%s";
constexpr char kCheckWraps[] = " Later sectors wrap onto its start and overwrite it.";
constexpr char kCheckFailedFormat[] =
    "%" PRIu64 " of the %" PRIu64 " sectors (%s) did not read back as written; the first is sector %" PRIu64 ".";
constexpr char kCheckWriteErrorFormat[] =
    "\r\nWriting failed from sector %" PRIu64 " with error #%lu (%" PRIu64 " sectors not written).";
constexpr char kCheckReadErrorFormat[] =
    "\r\nReading failed from sector %" PRIu64 " with error #%lu (%" PRIu64 " sectors not read).";
constexpr char kCheckCancelledFormat[] =
    "The capacity check was cancelled while %s, after %" PRIu64 " of %" PRIu64 " sectors; no result was reached.";
constexpr char kCheckWriting[] = "writing";
constexpr char kCheckReading[] = "checking";
constexpr char kCheckOfferRestore[] =
    "\r\n\r\nThe disk now holds only the test pattern. Restore it as an ordinary drive now?";
constexpr char kCheckRestoreHint[] =
    "\r\n\r\nThe disk now holds only the test pattern: restore it on the Disk Tools tab, or format it.";
constexpr uint32_t kCheckResultTextBytes = 640;

constexpr char kRestoreCaption[] = "Restore Drive";
constexpr char kRestoreDoneFormat[] =
    "The first and last MiB of Physical Disk %c were cleared and a new partition table was written: "
    "one partition from 1 MiB to the end (%s, type 0x%02X). Windows was told.%s";
constexpr char kRestoreFormatOpened[] = "\r\nWindows' Format dialog was opened for drive %c:.";
constexpr char kRestoreNoLetter[] =
    "\r\nNo drive letter appeared within 10 seconds. To finish, open Disk Management (diskmgmt.msc), "
    "right-click the new partition, choose Format (or Change Drive Letter) and give it a letter.";
constexpr char kRestoreNoFormatDialog[] =
    "\r\nWindows' Format dialog could not be opened: format drive %c: in Explorer or Disk Management.";
constexpr char kRestoreFailedFormat[] =
    "Restoring Physical Disk %c failed: error #%lu while %s. The disk may hold no valid partition table; "
    "try again, or create one in Disk Management.";
constexpr char kRestoreTooSmall[] = "The disk is too small to hold a partition. Nothing was written.";
constexpr char kRestoreSizeUnknown[] =
    "The disk does not report its size, so no partition can be laid out on it. Nothing was written.";
constexpr char kRestoreClearing[] = "clearing its first and last MiB";
constexpr char kRestoreWritingTable[] = "writing the partition table";
constexpr uint32_t kRestoreTextBytes = 512;
