// Every text of the user interface that users see, named once and worded in
// both languages in app_text_rows.h. Texts with Chinese in them are wide: they
// go through the wide-character calls so they read correctly whatever the
// system's code page.
//
// A new text is one more row there: SAME_TEXT(NAME, "text") when it reads the
// same in both languages, TWO_WIDE(NAME, L"中文", L"English") when not. The code
// uses NAME as before; its value is the chosen language's text, so it is read
// when it is shown (never copied once into a record) and its size is not known
// at compile time.
#pragma once

#include "text_table.h"

#include <cinttypes>

#include "text_rows_declare.h"
#include "app/app_text_rows.h"
#include "text_rows_end.h"

// Names rather than texts
#define STATUS_FONT_FACE "Arial"
#define TOOLTIP_CLASS "tooltips_class32"
#define DEFAULT_IMAGE_EXTENSION "img"

// The window's system menu offers each language under its own name.
constexpr wchar_t kMenuChinese[] = L"中文";
constexpr wchar_t kMenuEnglish[] = L"English";

// Points every text of the window at the language's.
void SelectAppTexts(UiLanguage language);
// The rows, for the checks over both languages.
const TextTable& AppTextTable();

// Texts of the command line, in English alone (a console shows them).
// Command line: usage errors (exit code 2). Each has one %s, the word it names
// (ignored by those that name none).
#define USAGE_UNKNOWN_COMMAND "\"%s\" is no command of tavrin; \"tavrin --help\" lists them."
#define USAGE_UNKNOWN_OPTION "\"%s\" is no option of tavrin; \"tavrin --help\" lists them."
#define USAGE_OPTION_NOT_HERE "The option \"%s\" does not apply to this command."
#define USAGE_NOT_A_DISK "\"%s\" names no disk: give a drive letter (E or E:), a digit (1 for Physical Disk 1) or \\\\.\\PhysicalDrive1."
#define USAGE_VERIFY_BOTH "Give --verify or --no-verify, not both.%s"
#define USAGE_LANGUAGE "--lang takes zh-CN or en (\"%s\" is neither)."
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
  "  --lang zh-CN | en                    the texts in Chinese or English for this run (any command,\r\n" \
  "                                       or the window)\r\n" \
  "\r\n" \
  "DISK is a drive letter (E or E:), a digit (1 for Physical Disk 1) or \\\\.\\PhysicalDrive1.\r\n" \
  "Every check of the window applies. Before anything is overwritten the command asks on the\r\n" \
  "console (type yes); --yes agrees beforehand, and without a console to ask nothing is done.\r\n" \
  "--quiet prints only the outcome. Progress goes to standard error, Ctrl+C cancels.\r\n" \
  "\r\n" \
  "Exit codes: 0 completed, 1 failed (disk or image error), 2 usage, 3 refused before anything\r\n" \
  "was written, 4 cancelled, 5 verification or checksum mismatch."
