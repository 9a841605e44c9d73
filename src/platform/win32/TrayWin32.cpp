// The tray shell on Win32: a hidden dialog (template IDD_LUDGUARD_DIALOG)
// owning a notification-area icon with a right-click menu. See Tray.h.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <mutex>

#include "Tray.h"

namespace {

const UINT kIconMessage = WM_USER + 1;

std::wstring from_utf8(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

HICON load_icon(int id) { return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)); }

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wp));
    return TRUE;
  }
  return FALSE;
}

class DialogTray : public Tray {
 public:
  DialogTray(TrayHandler* handler, const std::string& tooltip)
      : handler_(handler),
        tooltip_(from_utf8(tooltip)),
        taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")) {}

  int run() override {
    HWND dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LUDGUARD_DIALOG),
                                  nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (dlg == nullptr) return 1;
    ShowWindow(dlg, SW_SHOWMINIMIZED);
    ShowWindow(dlg, SW_HIDE);
    UpdateWindow(dlg);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageW(dlg, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return 0;
  }

  // Called from coreThread: only the icon field of the record changes.
  void setIcon(int icon) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!added_) return;
    // Kept in the record, so that an icon added again shows the state.
    record_.hIcon = load_icon(icon);
    NOTIFYICONDATAW data = record_;
    data.uFlags = NIF_ICON;
    Shell_NotifyIconW(NIM_MODIFY, &data);
  }

  bool visible() const override { return true; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(dlg, DWLP_USER, lp);
    DialogTray* self = reinterpret_cast<DialogTray*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (self == nullptr) return FALSE;
    return self->handle(dlg, msg, wp, lp);
  }

  INT_PTR handle(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    // A restarted Explorer has an empty notification area: add the icon
    // again, or the menu would be gone until the next logon.
    if (msg == taskbar_created_ && taskbar_created_ != 0) {
      add_icon();
      return FALSE;
    }
    switch (msg) {
      case WM_INITDIALOG:
        return init(dlg);
      case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
          DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), dlg, AboutProc,
                          0);
          return TRUE;
        }
        return FALSE;
      case WM_PAINT:
        if (IsIconic(dlg)) {
          PAINTSTRUCT ps;
          HDC dc = BeginPaint(dlg, &ps);
          SendMessageW(dlg, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
          RECT rect;
          GetClientRect(dlg, &rect);
          int x = (rect.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
          int y = (rect.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
          DrawIcon(dc, x, y, icon_);
          EndPaint(dlg, &ps);
          return TRUE;
        }
        return FALSE;
      case WM_QUERYDRAGICON:
        SetWindowLongPtrW(dlg, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(icon_));
        return TRUE;
      case WM_SIZE:
        if (wp == SIZE_MINIMIZED) ShowWindow(dlg, SW_HIDE);
        return FALSE;
      case kIconMessage: {
        LONG_PTR result = 0;
        if (wp != static_cast<WPARAM>(kIconApp)) {
          result = 1;
        } else if (lp == WM_RBUTTONUP) {
          popup_menu(dlg);
        }
        SetWindowLongPtrW(dlg, DWLP_MSGRESULT, result);
        return TRUE;
      }
      case WM_COMMAND: {
        int id = LOWORD(wp);
        if (id != kMenuStart && id != kMenuStop && id != kMenuExit) return TRUE;  // OK, Cancel
        if (!handler_->menuEnabled(id)) return TRUE;
        handler_->onCommand(id);
        if (id == kMenuExit) {
          remove_icon();
          DestroyWindow(dlg);
        }
        return TRUE;
      }
      case WM_DESTROY:
        remove_icon();
        PostQuitMessage(0);
        return FALSE;
      default:
        return FALSE;
    }
  }

  INT_PTR init(HWND dlg) {
    HMENU system = GetSystemMenu(dlg, FALSE);
    wchar_t about[128] = {0};
    if (system != nullptr && LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0 &&
        about[0] != 0) {
      AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(system, MF_STRING, IDM_ABOUTBOX, about);
    }
    icon_ = load_icon(kIconApp);
    SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    {
      std::lock_guard<std::mutex> guard(mutex_);
      ZeroMemory(&record_, sizeof(record_));
      record_.cbSize = sizeof(record_);
      record_.hWnd = dlg;
      record_.uID = kIconApp;
      record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
      record_.uCallbackMessage = kIconMessage;
      record_.hIcon = icon_;
      lstrcpynW(record_.szTip, tooltip_.c_str(), 128);
    }
    add_icon();
    handler_->onInit();
    return TRUE;
  }

  // Adds the icon as the record describes it (NIM_ADD) and tells the
  // handler how it went, since nothing else shows a missing icon.
  void add_icon() {
    bool added;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      added_ = Shell_NotifyIconW(NIM_ADD, &record_) != FALSE;
      added = added_;
    }
    handler_->onIconAdded(added);
  }

  void popup_menu(HWND dlg) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    struct Item {
      int id;
      const wchar_t* text;
    };
    const Item items[] = {
        {kMenuStart, L"启动服务"}, {kMenuStop, L"关闭服务"}, {kMenuExit, L"退出"}};
    for (const Item& item : items) {
      UINT flags = MF_STRING | (handler_->menuEnabled(item.id) ? MF_ENABLED : MF_GRAYED);
      AppendMenuW(menu, flags, static_cast<UINT_PTR>(item.id), item.text);
    }
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(dlg);
    TrackPopupMenu(menu, TPM_LEFTALIGN, pt.x, pt.y, 0, dlg, nullptr);
    DestroyMenu(menu);
  }

  void remove_icon() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!added_) return;
    Shell_NotifyIconW(NIM_DELETE, &record_);
    added_ = false;
  }

  TrayHandler* const handler_;
  const std::wstring tooltip_;
  const UINT taskbar_created_;  // 0 when the message could not be registered
  HICON icon_ = nullptr;
  std::mutex mutex_;  // guards record_ and added_ (GUI thread and coreThread)
  NOTIFYICONDATAW record_;
  bool added_ = false;
};

}  // namespace

Tray* Tray::create(TrayHandler* handler, const std::string& tooltip) {
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), 0xFF};
  InitCommonControlsEx(&controls);
  return new DialogTray(handler, tooltip);
}

int tray_remote_command(const std::string&, std::string* reply) {
  *reply = "not available on Windows: use the menu of the notification icon";
  return 1;
}

void show_message(const std::string& text) {
  MessageBoxW(nullptr, from_utf8(text).c_str(), L"ludguard", MB_OK);
}

void attach_test_console() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input != nullptr && input != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) return;
  FILE* ignored;
  ignored = freopen("CONIN$", "r", stdin);
  ignored = freopen("CONOUT$", "w", stdout);
  ignored = freopen("CONOUT$", "w", stderr);
  (void)ignored;
}
