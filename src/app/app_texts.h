// Every text of the user interface that users see, named once. Texts with
// Chinese in them are wide literals: they go through the wide-character calls
// so they read correctly whatever the system's code page.
#pragma once

// Start-up
#define TEXT_OUT_OF_MEMORY "Insufficient Memory"
#define CAPTION_OUT_OF_MEMORY "Out of Memory"
// Opening offers every image it can write, saving the compressed forms it can create.
#define FORMAT_FILE_FILTER \
  "Image Files%c*.img;*.vhd%cCompressed Images%c*.gz;*.xz;*.zst;*.zip;*.bz2;*.lz4;*.7z;*.tar;*.tgz%cAll Files%c*.*%c%c"
#define FORMAT_CREATE_FILE_FILTER "Image Files%c*.img;*.vhd%cCompressed Images%c*.gz;*.zst%cAll Files%c*.*%c%c"
#define STATUS_FONT_FACE "Arial"

// Status line prompts of the two tabs
#define STATUS_PROMPT_WRITE "Click 'Start' to write selected image to disk"
#define STATUS_PROMPT_CREATE "Click 'Start' to create an image of the disk"

// Tabs and labels
#define TAB_CAPTION_WRITE L"映像写入"
#define TAB_CAPTION_CREATE L"创建映像"
#define LABEL_DRIVE_WRITE L"选择驱动器"
#define LABEL_DRIVE_CREATE L"选择驱动器 From"
#define LABEL_FILE_WRITE L"映像档:"
#define LABEL_FILE_CREATE L"目标文件:"

// Tool tips
#define TIP_HELP "View program documentation online"
#define TIP_START "Start transfer"
#define TIP_ABOUT "About this program"
#define TIP_BROWSE "Browse for an image file"
#define TIP_VERIFY "Read the disk back after writing and compare it with the image"
#define TIP_TRIM "Copy the disk only up to the end of its last partition"
#define TIP_SUMS "Compute the checksums of the image file"
#define TOOLTIP_CLASS "tooltips_class32"

// Browse
#define TITLE_OPEN_IMAGE "Use Which Image?"
#define TITLE_SAVE_IMAGE "Save Image As?"
#define DEFAULT_IMAGE_EXTENSION "img"

// Start
#define TEXT_NO_FILE_NAME "Please select a image file name before proceeding"
#define CAPTION_NO_FILE_NAME "Error with filename"
#define TEXT_NAME_TOO_LONG \
  "The image file name is too long: a name must be shorter than 260 characters, its folders included. " \
  "Choose a shorter name or folder. Nothing was done."
#define FORMAT_REPLACE_IMAGE \
  "The file %s already exists.\r\nReplace it with the image of the disk? Its contents will be lost."
#define CAPTION_REPLACE_IMAGE "Confirm Replace"
#define TEXT_NO_DRIVE "Please select a drive before proceeding"
#define CAPTION_NO_DRIVE "Error with drive"
#define TEXT_DESTROY_WARNING \
  "This operation will completely destroy the contents of the disk\r\n" \
  "Are you sure you wish to proceed with the operation?"
#define CAPTION_DESTROY_WARNING "Warning! Data will be lost!"
// Added to the warning when the image has a checksum file: the hash's name
// ("SHA-256") and the checksum file's name.
#define FORMAT_SUM_WILL_BE_CHECKED "The image file's %s will be checked against the sum in %s."
// Added to the warning when the image is a file of an archive (.7z, tar): its name in the archive.
#define FORMAT_ENTRY_WILL_BE_WRITTEN "The archive's file %s will be written to the disk."
// A checksum file that is there but cannot be used: its name and the hash's name.
#define FORMAT_SUM_FILE_UNUSABLE \
  "The checksum file %s cannot be read, or holds no %s sum for the image file.\r\n" \
  "Write the image without checking it against a checksum? (No: nothing is written.)"
#define CAPTION_SUM_FILE_UNUSABLE "Checksum File"
// The line the warning adds: the target as the drive list names it.
#define FORMAT_DESTROY_TARGET "%s\r\n\r\nTarget: %s"
// The second question for a disk Windows reports as internal: the target's
// name, its size and the letters on it.
#define FORMAT_INTERNAL_DISK \
  "%s is an internal disk of %s holding %s.\r\n" \
  "It may hold Windows, programs or your files. Are you sure this is the disk you want to overwrite?"
// ... and for a physical disk when Windows answers no volume extents at all.
#define FORMAT_UNKNOWN_VOLUMES \
  "Windows does not say which volumes lie on %s, so Tavrin cannot tell whether Windows or your files " \
  "are on it.\r\nAre you sure this is the disk you want to overwrite?"
#define TEXT_NO_LETTERS "no drive letters"
#define CAPTION_INTERNAL_DISK "Internal Disk"
// The listed disk is gone or another disk has its number now.
#define FORMAT_DISKS_CHANGED \
  "The disks changed since the list was made: %s is not the disk that was listed. The list has been " \
  "made again; choose the disk again. Nothing was written."
#define CAPTION_DISKS_CHANGED "Disks Changed"
#define TEXT_OPEN_IMAGE_FAILED "Error opening image file"
#define TEXT_CREATE_IMAGE_FAILED "Error creating image file"
#define CAPTION_FILE_ERROR "File Error"
#define FORMAT_NOT_COMPRESSED \
  "The image file's name ends in %s, but the file is not in that compressed format.\r\n" \
  "Nothing was written. Check the file, or rename it if it is a plain image."
#define TEXT_NO_TRANSFER_BUFFER "Not enough memory to start the transfer; nothing was written"
#define TEXT_NO_WORKER_THREAD "The transfer could not be started; nothing was written"
#define CAPTION_START_FAILED "Transfer Not Started"

// An image longer than the disk: how much longer, then the image's and the
// disk's sizes, each in the drive list's units and in bytes.
#define FORMAT_SIZE_WITH_BYTES "%s (%" PRIu64 " bytes)"
#define FORMAT_IMAGE_TOO_LARGE \
  "The image is larger than the disk by %s: the image holds %s, the disk %s.\r\n" \
  "Nothing was written."
#define FORMAT_IMAGE_TOO_LARGE_FITS \
  "The image is larger than the disk by %s: the image holds %s, the disk %s.\r\n%s\r\n" \
  "Write only the part of the image that fits on the disk? Nothing has been written yet."
#define TEXT_BEYOND_IS_ZERO "Every byte of the image beyond the end of the disk is zero."
#define TEXT_BEYOND_IS_UNPARTITIONED \
  "The image's partition table ends within the disk: what lies beyond its end follows the last partition."
#define CAPTION_IMAGE_TOO_LARGE "Image Larger Than Disk"

// Start refuses a disk that holds Windows or the image file. The first %s
// names that volume ("drive E:", see NamePathVolume); the second names the
// chosen disk (one of the two names below).
#define NAME_DRIVE "drive %c:"
#define NAME_PHYSICAL_DISK "Physical Disk %c"
#define FORMAT_REFUSE_WINDOWS_DISK \
  "Windows is running from %s, so %s cannot be written. Nothing was written."
#define FORMAT_REFUSE_IMAGE_DISK \
  "The image file is on %s, so %s cannot be written: the image would be destroyed while it is " \
  "being read. Choose an image stored on another disk. Nothing was written."
#define FORMAT_REFUSE_CREATE_ON_SOURCE \
  "The image file would be created on %s, and %s is the disk being read. Choose a place on " \
  "another disk for the image. Nothing was written."
// A share of this computer that cannot be traced to its disk.
#define TEXT_REFUSE_LOCAL_SHARE \
  "The image file is on a share of this computer, and Tavrin cannot tell which disk holds it. Name the " \
  "file by its drive letter instead. Nothing was written."
#define CAPTION_DISK_PROTECTED "Disk Protected"

// Closing while a transfer runs, when the window went away before it ended
#define TEXT_CLOSED_WHILE_BUSY \
  "The window closed while a transfer was running. The transfer was cancelled; " \
  "the disk and the image file were closed, and the transferred part may be incomplete."
#define CAPTION_CLOSED_WHILE_BUSY "Cancelled"
// A further close request when the transfer has not stopped after a while
#define TEXT_QUIT_ANYWAY \
  "The transfer has not stopped since you asked to close; the disk may have stopped answering.\r\n" \
  "Quit anyway? Windows releases the disk when Tavrin ends, but the disk or the image file " \
  "may be left incomplete."
#define CAPTION_QUIT_ANYWAY "Transfer Not Responding"

// Status line during a job
#define FORMAT_PERCENT "%0.2f%% Completed"
#define FORMAT_PERCENT_VERIFIED "%0.2f%% Verified"
#define FORMAT_PERCENT_WRITTEN "%0.2f%% Written"
#define FORMAT_PERCENT_CHECKED "%0.2f%% Checked"
#define FORMAT_REMAINING_SECONDS "Remaining Time %0.0f Seconds"
#define FORMAT_REMAINING_MINUTES "Remaining Time %0.0f Minutes"
#define FORMAT_REMAINING_HOURS "Remaining Time %0.0f Hours %i Minutes"
#define FORMAT_SPEED_BYTES "%0.0f Bytes/Sec"
#define FORMAT_SPEED_KB "%0.2f KB/Sec"
#define FORMAT_SPEED_MB "%0.2f MB/Sec"
#define FORMAT_SPEED_GB "%0.2f GB/Sec"

// The checksums dialog: the verdict on the pasted sum (%s: "MD5", "SHA-1" or "SHA-256")
#define VERDICT_MATCHES "Matches: this is the image file's %s."
#define VERDICT_DIFFERS "Does not match: the image file is not the one this sum describes."
#define VERDICT_NOT_A_SUM "Not a checksum: paste 32, 40 or 64 hexadecimal digits."

// Disk tools tab
#define TAB_CAPTION_TOOLS L"磁盘工具"
#define STATUS_PROMPT_TOOLS "Click 'Start' to run the chosen tool on the disk"
#define TEXT_RESTORE_NEEDS_DISK \
  "Restoring works on a whole disk: choose a Physical Disk (Windows 2000 or later). Nothing was written."
#define CAPTION_RESTORE_NEEDS_DISK "Restore Not Possible"

// Command line: usage errors (exit code 2). Each has one %s, the word it names
// (ignored by those that name none).
#define USAGE_UNKNOWN_COMMAND "\"%s\" is no command of tavrin; \"tavrin --help\" lists them."
#define USAGE_UNKNOWN_OPTION "\"%s\" is no option of tavrin; \"tavrin --help\" lists them."
#define USAGE_OPTION_NOT_HERE "The option \"%s\" does not apply to this command."
#define USAGE_NOT_A_DISK "\"%s\" names no disk: give a drive letter (E or E:), a digit (1 for Physical Disk 1) or \\\\.\\PhysicalDrive1."
#define USAGE_VERIFY_BOTH "Give --verify or --no-verify, not both.%s"
#define USAGE_NO_COMMAND "No command given; \"tavrin --help\" lists them.%s"
#define USAGE_TOO_MANY_WORDS "Too many arguments from \"%s\" on."
// Kept apart so that it can go once several disks can be written at once.
#define USAGE_SEVERAL_DISKS "Writing several disks at once is not available yet; name one DISK (\"%s\" is the second)."
#define USAGE_WRITE "Usage: tavrin write IMAGE DISK [--verify | --no-verify] [--yes] [--quiet]%s"
#define USAGE_CREATE "Usage: tavrin create DISK IMAGE [--trim] [--yes] [--quiet]%s"
#define USAGE_HASH "Usage: tavrin hash FILE [--quiet]%s"
#define USAGE_CHECK "Usage: tavrin check DISK [--yes] [--quiet]%s"
#define USAGE_RESTORE "Usage: tavrin restore DISK [--yes] [--quiet]%s"

// Command line: what it reports
#define CONSOLE_VERSION "tavrin " TAVRIN_VERSION_TEXT
// One line per entry of the drive list: designator, label (size, maker,
// letters), what the disk is, its length in bytes.
#define CONSOLE_LIST_LINE "%s\t%s\t%s\t%s"
#define CONSOLE_LIST_EMPTY "No drive or disk found."
#define CONSOLE_KIND_INTERNAL "internal disk"
#define CONSOLE_KIND_REMOVABLE "removable disk"
#define CONSOLE_KIND_DRIVE "drive"
#define CONSOLE_LENGTH_UNKNOWN "unknown length"
#define CONSOLE_SUM_LINE "%s\t%s"
#define CONSOLE_TYPE_YES "Type yes and Enter to go on, anything else to stop: "
#define CONSOLE_NO_CONSOLE_TO_ASK "There is no console to answer on, so nothing was done; give --yes to agree beforehand."
// The capacity check's offer to restore comes while the job runs; the command line never takes it.
#define CONSOLE_NOT_RESTORED "Not restored: \"tavrin restore DISK\" does that."
#define CONSOLE_HELP \
  "Usage: tavrin [COMMAND ...]   (without one, or with only an image file's name, the window opens)\r\n" \
  "\r\n" \
  "  tavrin list                          the drives and disks, one a line: designator, label,\r\n" \
  "                                       what the disk is, length in bytes\r\n" \
  "  tavrin write IMAGE DISK [--verify | --no-verify] [--yes]\r\n" \
  "                                       writes IMAGE onto DISK, then reads it back (--no-verify: not)\r\n" \
  "  tavrin create DISK IMAGE [--trim] [--yes]\r\n" \
  "                                       creates IMAGE from DISK (--trim: up to its last partition;\r\n" \
  "                                       .gz, .zst and .vhd names make those formats)\r\n" \
  "  tavrin hash FILE                     MD5, SHA-1 and SHA-256 of FILE\r\n" \
  "  tavrin check DISK [--yes]            writes and reads back every sector (destroys the contents)\r\n" \
  "  tavrin restore DISK [--yes]          one empty partition over the whole physical disk\r\n" \
  "  tavrin --help | --version\r\n" \
  "\r\n" \
  "DISK is a drive letter (E or E:), a digit (1 for Physical Disk 1) or \\\\.\\PhysicalDrive1.\r\n" \
  "Every check of the window applies. Before anything is overwritten the command asks on the\r\n" \
  "console (type yes); --yes agrees beforehand, and without a console to ask nothing is done.\r\n" \
  "--quiet prints only the outcome. Progress goes to standard error, Ctrl+C cancels.\r\n" \
  "\r\n" \
  "Exit codes: 0 completed, 1 failed (disk or image error), 2 usage, 3 refused before anything\r\n" \
  "was written, 4 cancelled, 5 verification or checksum mismatch."
