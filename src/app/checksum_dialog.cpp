// The checksums dialog (template 104): the image file's MD5, SHA-1 and
// SHA-256 in read-only fields, and the verdict on a pasted sum.
#include "app/checksum_dialog.h"

#include "app/sum_verdict.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kPastedChars = 160;   // a sum and the name that may come with it
constexpr int kVerdictBytes = 128;

ImageSums shownSums;  // what the dialog shows, copied when it opens; main thread

void ShowVerdict(HWND dialog) {
  char pasted[kPastedChars];
  GetDlgItemTextA(dialog, IDC_SUM_EXPECTED, pasted, sizeof(pasted));
  HashKind kind = HashKind::Sha256;
  const PastedSum verdict = JudgePastedSum(pasted, shownSums, &kind);
  char text[kVerdictBytes];
  FormatPastedVerdict(verdict, kind, text, sizeof(text));
  SetDlgItemTextA(dialog, IDC_SUM_VERDICT, text);
}

}  // namespace

INT_PTR CALLBACK ChecksumDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      shownSums = imageSums;
      SetDlgItemTextA(dialog, IDC_SUM_MD5, shownSums.hex[static_cast<uint32_t>(HashKind::Md5)]);
      SetDlgItemTextA(dialog, IDC_SUM_SHA1, shownSums.hex[static_cast<uint32_t>(HashKind::Sha1)]);
      SetDlgItemTextA(dialog, IDC_SUM_SHA256, shownSums.hex[static_cast<uint32_t>(HashKind::Sha256)]);
      SendDlgItemMessageA(dialog, IDC_SUM_EXPECTED, EM_LIMITTEXT, kPastedChars - 1, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_SUM_EXPECTED && HIWORD(wParam) == EN_CHANGE) {
        ShowVerdict(dialog);
      } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
      }
      return TRUE;
    default:
      return FALSE;
  }
}
