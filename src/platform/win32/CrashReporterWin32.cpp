// The crash reporter on Win32: an unhandled-exception filter that writes a
// minidump into log\ beside the executable. The filter covers every thread
// of the process, so there is nothing to do per thread.
#include <windows.h>
#include <dbghelp.h>

#include <string>

#include "CrashReporter.h"

namespace {

typedef BOOL(WINAPI* MiniDumpWriteDumpFn)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

// Everything the filter needs is prepared at install time: when it runs the
// heap may be damaged, so it only fills fixed buffers and calls the system.
// Written by crash_install / crash_uninstall, which the program calls on its
// main thread before other threads start and after they end.
struct CrashState {
  bool installed = false;
  MiniDumpWriteDumpFn write_dump = nullptr;
  wchar_t log_dir[MAX_PATH] = {};
  // "<app name> <app version>", stored in the dump as its comment.
  wchar_t comment[256] = {};
  LPTOP_LEVEL_EXCEPTION_FILTER previous = nullptr;
  char last_error[256] = {};
  // The restart after a crash: this program and its command line, and when
  // the process started (GetTickCount64).
  bool restart = false;
  wchar_t exe[MAX_PATH] = {};
  wchar_t command_line[4096] = {};
  ULONGLONG started = 0;
};

// Names the crashed process to its successor (crash_wait_for_predecessor).
const wchar_t kPredecessorVariable[] = L"LUD_CRASH_RESTART_OF";

CrashState state;

void SetLastErrorText(const char* what, DWORD code) {
  std::string text = what;
  if (code != 0) text += " (error " + std::to_string(code) + ")";
  lstrcpynA(state.last_error, text.c_str(), sizeof(state.last_error));
}

// Appends to a fixed buffer; returns the new end. Keeps the terminating zero.
wchar_t* Append(wchar_t* at, wchar_t* end, const wchar_t* text) {
  while (*text != L'\0' && at + 1 < end) *at++ = *text++;
  *at = L'\0';
  return at;
}

wchar_t* AppendNumber(wchar_t* at, wchar_t* end, unsigned long value) {
  wchar_t text[16];
  wchar_t* first = text + 15;
  *first = L'\0';
  do {
    *--first = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return Append(at, end, first);
}

void WriteToStderr(const wchar_t* text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == INVALID_HANDLE_VALUE || err == nullptr) return;
  char narrow[MAX_PATH * 2];
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
  if (n <= 1) return;
  DWORD written;
  WriteFile(err, narrow, static_cast<DWORD>(n - 1), &written, nullptr);
}

// Seconds since 1970, without the C library.
unsigned long UnixSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<unsigned long>((t.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

// log\crash-<seconds since 1970>-<pid>.dmp, like the Linux report's name.
LONG WINAPI WriteMinidump(EXCEPTION_POINTERS* exception) {
  CreateDirectoryW(state.log_dir, nullptr);
  wchar_t path[MAX_PATH + 64];
  wchar_t* end = path + sizeof(path) / sizeof(path[0]);
  wchar_t* at = Append(path, end, state.log_dir);
  at = Append(at, end, L"\\crash-");
  at = AppendNumber(at, end, UnixSeconds());
  at = Append(at, end, L"-");
  at = AppendNumber(at, end, GetCurrentProcessId());
  Append(at, end, L".dmp");

  BOOL written = FALSE;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    MINIDUMP_EXCEPTION_INFORMATION info;
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
    MINIDUMP_USER_STREAM comment;
    comment.Type = CommentStreamW;
    comment.BufferSize = static_cast<ULONG>((lstrlenW(state.comment) + 1) * sizeof(wchar_t));
    comment.Buffer = state.comment;
    MINIDUMP_USER_STREAM_INFORMATION streams;
    streams.UserStreamCount = 1;
    streams.UserStreamArray = &comment;
    written = state.write_dump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                               &info, &streams, nullptr);
    CloseHandle(file);
  }
  wchar_t line[MAX_PATH + 128];
  wchar_t* line_end = line + sizeof(line) / sizeof(line[0]);
  wchar_t* p = Append(line, line_end,
                      written ? L"crashed: report written to " : L"crashed: no report written to ");
  p = Append(p, line_end, path);
  Append(p, line_end, L"\r\n");
  WriteToStderr(line);
  if (state.restart && GetTickCount64() - state.started >= kCrashRestartMinSeconds * 1000ULL) {
    // The successor inherits the variable, waits for this process to end,
    // and then finds the single-instance claim free.
    wchar_t pid[16];
    wchar_t* pid_end = pid + 16;
    DWORD id = GetCurrentProcessId();
    wchar_t digits[16];
    int count = 0;
    do {
      digits[count++] = static_cast<wchar_t>(L'0' + id % 10);
      id /= 10;
    } while (id != 0);
    wchar_t* q = pid;
    while (count > 0 && q + 1 < pid_end) *q++ = digits[--count];
    *q = L'\0';
    SetEnvironmentVariableW(kPredecessorVariable, pid);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (CreateProcessW(state.exe, state.command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      WriteToStderr(L"crashed: restarted\r\n");
    }
  }
  // Ends the process without the system's crash dialog.
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int crash_install(const CrashInstallInfo* info) {
  if (info == nullptr || info->size != 100) {
    SetLastErrorText("invalid installation record", 0);
    return -1;
  }
  // dbghelp is loaded from the system directory at run time, so that a
  // system without it fails here with a message instead of refusing to start.
  wchar_t dll[MAX_PATH];
  UINT n = GetSystemDirectoryW(dll, MAX_PATH);
  if (n == 0 || n + 14 >= MAX_PATH) {
    SetLastErrorText("cannot find the system directory", GetLastError());
    return -1;
  }
  lstrcatW(dll, L"\\dbghelp.dll");
  HMODULE dbghelp = LoadLibraryW(dll);
  if (dbghelp == nullptr) {
    SetLastErrorText("cannot load dbghelp.dll", GetLastError());
    return -1;
  }
  // Through void* to tell the compiler the signature change is intended.
  MiniDumpWriteDumpFn write_dump = reinterpret_cast<MiniDumpWriteDumpFn>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  if (write_dump == nullptr) {
    SetLastErrorText("dbghelp.dll has no MiniDumpWriteDump", GetLastError());
    FreeLibrary(dbghelp);
    return -1;
  }

  wchar_t dir[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, dir, MAX_PATH);
  wchar_t* cut = nullptr;
  for (DWORD i = 0; i < length && length < MAX_PATH; ++i) {
    if (dir[i] == L'\\' || dir[i] == L'/') cut = dir + i;
  }
  if (cut == nullptr || (cut - dir) + 5 >= MAX_PATH) {
    SetLastErrorText("cannot find the executable's directory", GetLastError());
    FreeLibrary(dbghelp);
    return -1;
  }
  *cut = L'\0';
  lstrcatW(dir, L"\\log");

  // dbghelp stays loaded for the life of the process: the filter may run at
  // any moment until it ends.
  state.write_dump = write_dump;
  lstrcpynW(state.log_dir, dir, MAX_PATH);
  wchar_t* comment_end = state.comment + sizeof(state.comment) / sizeof(state.comment[0]);
  wchar_t* at = Append(state.comment, comment_end, info->app_name != nullptr ? info->app_name : L"");
  at = Append(at, comment_end, L" ");
  Append(at, comment_end, info->app_version != nullptr ? info->app_version : L"");
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(WriteMinidump);
  if (!state.installed) state.previous = previous;
  state.installed = true;
  state.last_error[0] = '\0';
  state.restart = false;
  if ((info->flags & kCrashRestartFlag) != 0) {
    DWORD exe_length = GetModuleFileNameW(nullptr, state.exe, MAX_PATH);
    const wchar_t* command_line = GetCommandLineW();
    state.restart = exe_length > 0 && exe_length < MAX_PATH &&
                    lstrlenW(command_line) < static_cast<int>(sizeof(state.command_line) / sizeof(wchar_t));
    if (state.restart) lstrcpynW(state.command_line, command_line, 4096);
    state.started = GetTickCount64();
  }
  return 0;
}

void crash_wait_for_predecessor() {
  wchar_t pid[16];
  DWORD n = GetEnvironmentVariableW(kPredecessorVariable, pid, 16);
  if (n == 0 || n >= 16) return;
  // Our own children must not wait for it too.
  SetEnvironmentVariableW(kPredecessorVariable, nullptr);
  DWORD id = 0;
  for (DWORD i = 0; i < n && pid[i] >= L'0' && pid[i] <= L'9'; ++i) id = id * 10 + (pid[i] - L'0');
  HANDLE predecessor = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (predecessor == nullptr) return;  // already gone
  WaitForSingleObject(predecessor, 30000);
  CloseHandle(predecessor);
}

void crash_uninstall() {
  if (!state.installed) return;
  state.restart = false;
  SetUnhandledExceptionFilter(state.previous);
  state.installed = false;
}

int crash_install_thread(uint32_t /*flags*/) { return 0; }

void crash_uninstall_thread() {}

void crash_last_error(char* buf, int size) {
  if (buf == nullptr || size <= 0) return;
  lstrcpynA(buf, state.last_error, size);
}

void crash_test() {
  // The pointer itself is volatile so the compiler cannot see that it is null
  // and replace the store with a trap instruction: this must be a real access
  // violation, handled like any other.
  volatile int* volatile target = nullptr;
  *target = 0;
}
