// Rows of the imaging worker's texts, one per text: SAME_TEXT(name, text) or
// SAME_WIDE(name, L"text") for a text both languages show alike, TWO_TEXTS or
// TWO_WIDE(name, chinese, english) for one each language words its own way.
// Included more than once (see job_texts.h and job_texts.cpp); no include guard.

// Start/Cancel button (control 1008) and its tool tip
SAME_TEXT(kButtonCancel, "Cancel")
SAME_TEXT(kButtonStart, "Start")
SAME_TEXT(kTipCancel, "Cancel imaging process")
SAME_TEXT(kTipStart, "Start transfer")

// Outcome words in the status line
SAME_TEXT(kWordCompleted, "Completed")
SAME_TEXT(kWordCancelled, "Cancelled")
SAME_TEXT(kWordFailed, "Failed")

// Outcome boxes carry Chinese, so they go through the wide-character call.
TWO_WIDE(kWriteCompletedText, L"映像写入完成", L"Image Write Completed")
SAME_WIDE(kWriteCancelledText, L"Image Write Cancelled")
TWO_WIDE(kWriteFailedText, L"映像写入失败", L"Image Write Failed")
TWO_WIDE(kCreateCompletedText, L"映像创建完成", L"Image Creation Completed")
SAME_WIDE(kCreateCancelledText, L"Image Creation Cancelled")
TWO_WIDE(kCreateFailedText, L"映像创建失败", L"Image Creation Failed")
// Added on a line of its own to the outcome of a trimmed create whose disk had
// no partition table that could be trusted.
SAME_WIDE(kWholeDiskCopiedText, L"No partition table was trusted, so the whole disk was copied.")
SAME_WIDE(kWholeDiskStoppedText, L"No partition table was trusted, so the whole disk was being copied.")
// Added to the outcome of a write that left out the image's end beyond the
// disk (the user agreed at Start): how many bytes, and why they are not needed.
SAME_TEXT(kLeftOutFormat, "The image's last %" PRIu64 " bytes were left out: they lie beyond the end of the disk, and %s")
SAME_TEXT(kLeftOutZeros, "every one of them is zero.")
SAME_TEXT(kLeftOutUnpartitioned, "they follow the image's last partition, so no partition needs them.")
// Added to the outcome of a write whose compressed image carried no checksum.
SAME_TEXT(kNoChecksumNote, "The image carried no checksum, so its content could not be checked as it was decompressed.")
// Added to the box of a write that ended unfinished after it had cleared the
// disk's first MiB (the image's head is written last).
SAME_WIDE(kHeadClearedText, L"The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.")
SAME_TEXT(kHeadClearedNote, "The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.")
SAME_WIDE(kCaptionSuccess, L"Success")
SAME_WIDE(kCaptionCancelled, L"Cancelled")
SAME_WIDE(kCaptionFailure, L"Failure")

// Device failures
SAME_TEXT(kOpenForWritingFailed, "Unable to open disk for writing!")
SAME_TEXT(kOpenForReadingFailed, "Unable to open disk for reading!")
SAME_TEXT(kDiskErrorCaption, "Disk Error")
// The error value is 32-bit unsigned and the sector 64-bit, so neither is cut
// or shown negative; the words (spelling included) are those users know.
SAME_TEXT(kDiskWriteErrorFormat, "Error #%lu occured while writting to disk at sector %" PRIu64 " ")

// A volume of the physical disk to be written cannot be locked: the drive
// letter in use, then the disk's digit; nothing has been written.
SAME_TEXT(kDriveInUseFormat, "Drive %c: is in use, so Physical Disk %c cannot be written now. Close the files and windows open on "
    "drive %c: and try again. Nothing was written.")
// The drive letter to be written cannot be locked, or will not dismount.
SAME_TEXT(kLetterInUseFormat, "Drive %c: is in use, so it cannot be written now. Close the files and windows open on drive %c: and "
    "try again. Nothing was written.")
SAME_TEXT(kDriveInUseCaption, "Drive In Use")

// Compressed images that cannot be read on (write) or made (create). The box
// says why, and how much of the image reached the disk.
SAME_TEXT(kImageProblemCaption, "Failure")
SAME_TEXT(kImageDamagedReason, "The image file is damaged: it is cut short or corrupt, or a checksum in it does not match.")
SAME_TEXT(kImageNoMemoryReason, "There is not enough memory to decompress the image file.")
SAME_TEXT(kImageMemoryBoundReason, "The image file needs more memory to decompress than this program allows "
    "(65 MiB for xz, a 128 MiB window for Zstandard).")
SAME_TEXT(kImageUnsupportedReason, "The image file is compressed in a form this program cannot read "
    "(from a zip archive only a file that is stored or deflated and not encrypted; from a 7z or tar "
    "archive only a file that is not encrypted, in a method this program has).")
SAME_TEXT(kImageUnknownCheckReason,
    "The image file is an xz file whose check is of a kind this program does not know, so its content "
    "could not be checked.")
SAME_TEXT(kImageProblemFormat, "%s\r\nIt stops at byte %" PRIu64 " of the image; %s")
SAME_TEXT(kImagePartWritten, "what came before was written to the disk, nothing after it.")
SAME_TEXT(kImageNoneWritten, "nothing was written to the disk.")
SAME_TEXT(kNoMemoryToCompress, "There is not enough memory to compress the image.\r\nNothing was read from the disk and the image file is empty.")
// A compressed image that ended whole, followed in its file by bytes that are
// neither padding nor another member or frame: the decoded size in bytes.
SAME_TEXT(kImageTrailingFormat,
    "The whole image (%" PRIu64 " bytes) was written to the disk, but unknown data follows it in the image "
    "file, so the file may not be the image it was meant to be.")

// Verification after a write: the disk read back and compared with the image.
SAME_WIDE(kWriteNotVerifiedText, L"Image written but not verified: the verification was cancelled")
SAME_TEXT(kVerifyErrorCaption, "Verify Error")
SAME_TEXT(kVerifyDiffersFormat, "The disk does not hold the image: sector %" PRIu64 " reads back different from the image. "
    "The disk may be smaller than it reports, or failing.")
SAME_TEXT(kVerifyReadErrorFormat, "Error #%lu occurred while reading the disk back at sector %" PRIu64 ". "
    "The image was written, but the disk could not be verified.")
SAME_TEXT(kVerifyImageErrorFormat, "The image could not be read again at sector %" PRIu64 " (error #%lu). "
    "The image was written, but the disk could not be verified.")

// Checksums. A write checked against its publisher's sum: the hash's name
// ("SHA-256") and the checksum file's name; on a difference both sums.
SAME_TEXT(kSumMatchedFormat, "The image file matched the %s sum in %s.")
SAME_TEXT(kSumDiffersFormat, "The image file is not the one its checksum file describes: its %s differs from the sum in %s.\r\n"
    "Sum in %s:\r\n%s\r\nSum of the image file:\r\n%s\r\n"
    "The image was written to the disk, but it is not the image that was published.")
SAME_TEXT(kSumUnreadFormat, "The image file could not be read to its end for its %s (error #%lu), so it is not known whether it is "
    "the one %s describes.")
// A created image's sum file, named; on a failure the error too.
SAME_TEXT(kSumFileWrittenFormat, "Its SHA-256 sum was written to %s.")
SAME_TEXT(kSumFileFailedFormat, "Its SHA-256 sum could not be written to %s (error #%lu).")
// The checksums of an image on demand: a file that cannot be read to its end.
SAME_TEXT(kSumsUnreadFormat, "The image file could not be read to its end (error #%lu); no checksums were computed.")
SAME_TEXT(kSumsCaption, "Checksums")

// Disk tools: the real-capacity check and restoring a disk as an ordinary drive.
SAME_TEXT(kCheckCaption, "Capacity Check")
SAME_TEXT(kCheckSizeUnknown, "The disk does not report its size, so it cannot be checked. Nothing was written.")
SAME_TEXT(kCheckAllGoodFormat, "Every sector holds what was written: all %" PRIu64 " sectors (%s) were written, read back and matched.")
SAME_TEXT(kCheckKeepsFirstFormat, "The device keeps only its first %" PRIu64 " sectors (%s) of the %" PRIu64 " sectors (%s) it reports.\r\n"
    "First failing sector: %" PRIu64 "; sectors that failed: %" PRIu64 ".%s")
SAME_TEXT(kCheckWraps, " Later sectors wrap onto its start and overwrite it.")
SAME_TEXT(kCheckFailedFormat, "%" PRIu64 " of the %" PRIu64 " sectors (%s) did not read back as written; the first is sector %" PRIu64 ".")
SAME_TEXT(kCheckWriteErrorFormat, "\r\nWriting failed from sector %" PRIu64 " with error #%lu (%" PRIu64 " sectors not written).")
SAME_TEXT(kCheckReadErrorFormat, "\r\nReading failed from sector %" PRIu64 " with error #%lu (%" PRIu64 " sectors not read).")
SAME_TEXT(kCheckCancelledFormat, "The capacity check was cancelled while %s, after %" PRIu64 " of %" PRIu64 " sectors; no result was reached.")
SAME_TEXT(kCheckWriting, "writing")
SAME_TEXT(kCheckReading, "checking")
SAME_TEXT(kCheckOfferRestore, "\r\n\r\nThe disk now holds only the test pattern. Restore it as an ordinary drive now?")
SAME_TEXT(kCheckRestoreHint, "\r\n\r\nThe disk now holds only the test pattern: restore it on the Disk Tools tab, or format it.")

SAME_TEXT(kRestoreCaption, "Restore Drive")
SAME_TEXT(kRestoreDoneFormat, "The first and last MiB of Physical Disk %c were cleared and a new partition table was written: "
    "one partition from 1 MiB to the end (%s, type 0x%02X). Windows was told.%s")
SAME_TEXT(kRestoreFormatOpened, "\r\nWindows' Format dialog was opened for drive %c:.")
SAME_TEXT(kRestoreNoLetter, "\r\nNo drive letter appeared within 10 seconds. To finish, open Disk Management (diskmgmt.msc), "
    "right-click the new partition, choose Format (or Change Drive Letter) and give it a letter.")
SAME_TEXT(kRestoreNoFormatDialog, "\r\nWindows' Format dialog could not be opened: format drive %c: in Explorer or Disk Management.")
SAME_TEXT(kRestoreFailedFormat, "Restoring Physical Disk %c failed: error #%lu while %s. The disk may hold no valid partition table; "
    "try again, or create one in Disk Management.")
SAME_TEXT(kRestoreSizeUnknown,
    "The disk does not report its size, so no partition can be laid out on it. Nothing was written.")
SAME_TEXT(kRestoreTooSmall, "The disk is too small to hold a partition. Nothing was written.")
SAME_TEXT(kRestoreClearing, "clearing its first and last MiB")
SAME_TEXT(kRestoreWritingTable, "writing the partition table")
