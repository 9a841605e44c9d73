// Tells every top-level window that the taskbar was created anew, as
// Explorer does after it restarts. The tray test under Wine runs it to see
// ludguard add its icon again.
#include <windows.h>

int main() {
  UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  if (message == 0) return 1;
  DWORD_PTR result = 0;
  // Sent rather than posted, so that every window has handled it when we end.
  return SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) ? 0
                                                                                               : 2;
}
