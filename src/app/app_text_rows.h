// Rows of the application window's texts, one per text: SAME_TEXT(name, text) or
// SAME_WIDE(name, L"text") for a text both languages show alike, TWO_TEXTS or
// TWO_WIDE(name, chinese, english) for one each language words its own way.
// Included more than once (see app_texts.h and app_texts.cpp); no include guard.

// Start-up
SAME_TEXT(TEXT_OUT_OF_MEMORY, "Insufficient Memory")
SAME_TEXT(CAPTION_OUT_OF_MEMORY, "Out of Memory")
// Opening offers every image it can write, saving the compressed forms it can create.
SAME_TEXT(FORMAT_FILE_FILTER,
    "Image Files%c*.img;*.vhd%cCompressed Images%c*.gz;*.xz;*.zst;*.zip;*.bz2;*.lz4;*.7z;*.tar;*.tgz%cAll Files%c*.*%c%c")
SAME_TEXT(FORMAT_CREATE_FILE_FILTER, "Image Files%c*.img;*.vhd%cCompressed Images%c*.gz;*.zst%cAll Files%c*.*%c%c")

// Status line prompts of the two tabs
SAME_TEXT(STATUS_PROMPT_WRITE, "Click 'Start' to write selected image to disk")
SAME_TEXT(STATUS_PROMPT_CREATE, "Click 'Start' to create an image of the disk")

// Tabs and labels
TWO_WIDE(TAB_CAPTION_WRITE, L"映像写入", L"Write Image")
TWO_WIDE(TAB_CAPTION_CREATE, L"创建映像", L"Create Image")
TWO_WIDE(LABEL_DRIVE_WRITE, L"选择驱动器", L"Select Drive")
TWO_WIDE(LABEL_DRIVE_CREATE, L"选择驱动器 From", L"Source Drive")
TWO_WIDE(LABEL_FILE_WRITE, L"映像档:", L"Image File:")
TWO_WIDE(LABEL_FILE_CREATE, L"目标文件:", L"Target File:")

// Tool tips
SAME_TEXT(TIP_HELP, "View program documentation online")
SAME_TEXT(TIP_START, "Start transfer")
SAME_TEXT(TIP_ABOUT, "About this program")
SAME_TEXT(TIP_BROWSE, "Browse for an image file")
SAME_TEXT(TIP_VERIFY, "Read the disk back after writing and compare it with the image")
SAME_TEXT(TIP_TRIM, "Copy the disk only up to the end of its last partition")
SAME_TEXT(TIP_SUMS, "Compute the checksums of the image file")

// Browse
SAME_TEXT(TITLE_OPEN_IMAGE, "Use Which Image?")
SAME_TEXT(TITLE_SAVE_IMAGE, "Save Image As?")

// Start
SAME_TEXT(TEXT_NO_FILE_NAME, "Please select a image file name before proceeding")
SAME_TEXT(CAPTION_NO_FILE_NAME, "Error with filename")
SAME_TEXT(TEXT_NAME_TOO_LONG, 
    "The image file name is too long: a name must be shorter than 260 characters, its folders included. "
    "Choose a shorter name or folder. Nothing was done.")
SAME_TEXT(FORMAT_REPLACE_IMAGE, 
    "The file %s already exists.\r\nReplace it with the image of the disk? Its contents will be lost.")
SAME_TEXT(CAPTION_REPLACE_IMAGE, "Confirm Replace")
SAME_TEXT(TEXT_NO_DRIVE, "Please select a drive before proceeding")
SAME_TEXT(CAPTION_NO_DRIVE, "Error with drive")
SAME_TEXT(TEXT_DESTROY_WARNING, 
    "This operation will completely destroy the contents of the disk\r\n"
    "Are you sure you wish to proceed with the operation?")
SAME_TEXT(CAPTION_DESTROY_WARNING, "Warning! Data will be lost!")
// Added to the warning when the image has a checksum file: the hash's name
// ("SHA-256") and the checksum file's name.
SAME_TEXT(FORMAT_SUM_WILL_BE_CHECKED, "The image file's %s will be checked against the sum in %s.")
// Added to the warning when the image is a file of an archive (zip, .7z, tar): its name in the archive.
SAME_TEXT(FORMAT_ENTRY_WILL_BE_WRITTEN, "The archive's file %s will be written to the disk.")
// A checksum file that is there but cannot be used: its name and the hash's name.
SAME_TEXT(FORMAT_SUM_FILE_UNUSABLE, 
    "The checksum file %s cannot be read, or holds no %s sum for the image file.\r\n"
    "Write the image without checking it against a checksum? (No: nothing is written.)")
SAME_TEXT(CAPTION_SUM_FILE_UNUSABLE, "Checksum File")
// The line the warning adds: the target as the drive list names it.
SAME_TEXT(FORMAT_DESTROY_TARGET, "%s\r\n\r\nTarget: %s")
// The second question for a disk Windows reports as internal: the target's
// name, its size and the letters on it.
SAME_TEXT(FORMAT_INTERNAL_DISK, 
    "%s is an internal disk of %s holding %s.\r\n"
    "It may hold Windows, programs or your files. Are you sure this is the disk you want to overwrite?")
// ... and for a physical disk when Windows answers no volume extents at all.
SAME_TEXT(FORMAT_UNKNOWN_VOLUMES, 
    "Windows does not say which volumes lie on %s, so Tavrin cannot tell whether Windows or your files "
    "are on it.\r\nAre you sure this is the disk you want to overwrite?")
SAME_TEXT(TEXT_NO_LETTERS, "no drive letters")
SAME_TEXT(CAPTION_INTERNAL_DISK, "Internal Disk")
// The listed disk is gone or another disk has its number now.
SAME_TEXT(FORMAT_DISKS_CHANGED, 
    "The disks changed since the list was made: %s is not the disk that was listed. The list has been "
    "made again; choose the disk again. Nothing was written.")
SAME_TEXT(CAPTION_DISKS_CHANGED, "Disks Changed")
SAME_TEXT(TEXT_OPEN_IMAGE_FAILED, "Error opening image file")
SAME_TEXT(TEXT_CREATE_IMAGE_FAILED, "Error creating image file")
SAME_TEXT(CAPTION_FILE_ERROR, "File Error")
SAME_TEXT(FORMAT_NOT_COMPRESSED, 
    "The image file's name ends in %s, but the file is not in that compressed format.\r\n"
    "Nothing was written. Check the file, or rename it if it is a plain image.")
SAME_TEXT(TEXT_NO_TRANSFER_BUFFER, "Not enough memory to start the transfer; nothing was written")
SAME_TEXT(TEXT_NO_WORKER_THREAD, "The transfer could not be started; nothing was written")
SAME_TEXT(CAPTION_START_FAILED, "Transfer Not Started")

// An image longer than the disk: how much longer, then the image's and the
// disk's sizes, each in the drive list's units and in bytes.
SAME_TEXT(FORMAT_SIZE_WITH_BYTES, "%s (%" PRIu64 " bytes)")
SAME_TEXT(FORMAT_IMAGE_TOO_LARGE, 
    "The image is larger than the disk by %s: the image holds %s, the disk %s.\r\n"
    "Nothing was written.")
SAME_TEXT(FORMAT_IMAGE_TOO_LARGE_FITS, 
    "The image is larger than the disk by %s: the image holds %s, the disk %s.\r\n%s\r\n"
    "Write only the part of the image that fits on the disk? Nothing has been written yet.")
SAME_TEXT(TEXT_BEYOND_IS_ZERO, "Every byte of the image beyond the end of the disk is zero.")
SAME_TEXT(TEXT_BEYOND_IS_UNPARTITIONED, 
    "The image's partition table ends within the disk: what lies beyond its end follows the last partition.")
SAME_TEXT(CAPTION_IMAGE_TOO_LARGE, "Image Larger Than Disk")

// Start refuses a disk that holds Windows or the image file. The first %s
// names that volume ("drive E:", see NamePathVolume); the second names the
// chosen disk (one of the two names below).
SAME_TEXT(NAME_DRIVE, "drive %c:")
SAME_TEXT(NAME_PHYSICAL_DISK, "Physical Disk %c")
SAME_TEXT(FORMAT_REFUSE_WINDOWS_DISK, 
    "Windows is running from %s, so %s cannot be written. Nothing was written.")
SAME_TEXT(FORMAT_REFUSE_IMAGE_DISK, 
    "The image file is on %s, so %s cannot be written: the image would be destroyed while it is "
    "being read. Choose an image stored on another disk. Nothing was written.")
SAME_TEXT(FORMAT_REFUSE_CREATE_ON_SOURCE, 
    "The image file would be created on %s, and %s is the disk being read. Choose a place on "
    "another disk for the image. Nothing was written.")
// A share of this computer that cannot be traced to its disk.
SAME_TEXT(TEXT_REFUSE_LOCAL_SHARE, 
    "The image file is on a share of this computer, and Tavrin cannot tell which disk holds it. Name the "
    "file by its drive letter instead. Nothing was written.")
SAME_TEXT(CAPTION_DISK_PROTECTED, "Disk Protected")

// Closing while a transfer runs, when the window went away before it ended
SAME_TEXT(TEXT_CLOSED_WHILE_BUSY, 
    "The window closed while a transfer was running. The transfer was cancelled; "
    "the disk and the image file were closed, and the transferred part may be incomplete.")
SAME_TEXT(CAPTION_CLOSED_WHILE_BUSY, "Cancelled")
// A further close request when the transfer has not stopped after a while
SAME_TEXT(TEXT_QUIT_ANYWAY, 
    "The transfer has not stopped since you asked to close; the disk may have stopped answering.\r\n"
    "Quit anyway? Windows releases the disk when Tavrin ends, but the disk or the image file "
    "may be left incomplete.")
SAME_TEXT(CAPTION_QUIT_ANYWAY, "Transfer Not Responding")

// Status line during a job
SAME_TEXT(FORMAT_PERCENT, "%0.2f%% Completed")
SAME_TEXT(FORMAT_PERCENT_VERIFIED, "%0.2f%% Verified")
SAME_TEXT(FORMAT_PERCENT_WRITTEN, "%0.2f%% Written")
SAME_TEXT(FORMAT_PERCENT_CHECKED, "%0.2f%% Checked")
SAME_TEXT(FORMAT_REMAINING_SECONDS, "Remaining Time %0.0f Seconds")
SAME_TEXT(FORMAT_REMAINING_MINUTES, "Remaining Time %0.0f Minutes")
SAME_TEXT(FORMAT_REMAINING_HOURS, "Remaining Time %0.0f Hours %i Minutes")
SAME_TEXT(FORMAT_SPEED_BYTES, "%0.0f Bytes/Sec")
SAME_TEXT(FORMAT_SPEED_KB, "%0.2f KB/Sec")
SAME_TEXT(FORMAT_SPEED_MB, "%0.2f MB/Sec")
SAME_TEXT(FORMAT_SPEED_GB, "%0.2f GB/Sec")

// The checksums dialog: the verdict on the pasted sum (%s: "MD5", "SHA-1" or "SHA-256")
SAME_TEXT(VERDICT_MATCHES, "Matches: this is the image file's %s.")
SAME_TEXT(VERDICT_DIFFERS, "Does not match: the image file is not the one this sum describes.")
SAME_TEXT(VERDICT_NOT_A_SUM, "Not a checksum: paste 32, 40 or 64 hexadecimal digits.")

// Disk tools tab
TWO_WIDE(TAB_CAPTION_TOOLS, L"磁盘工具", L"Disk Tools")
SAME_TEXT(STATUS_PROMPT_TOOLS, "Click 'Start' to run the chosen tool on the disk")
SAME_TEXT(TEXT_RESTORE_NEEDS_DISK, 
    "Restoring works on a whole disk: choose a Physical Disk (Windows 2000 or later). Nothing was written.")
SAME_TEXT(CAPTION_RESTORE_NEEDS_DISK, "Restore Not Possible")
