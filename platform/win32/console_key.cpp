#include "platform/console_key.h"

#include <windows.h>

#include "platform/extended_keys.h"

namespace {

// The console's keyboard, in mode 0 (no line input, no echo, Ctrl+C as a key)
// for as long as this object lives.
class RawConsole {
 public:
  RawConsole() {
    handle_ = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    if (!GetConsoleMode(handle_, &saved_)) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
      return;
    }
    SetConsoleMode(handle_, 0);
  }
  ~RawConsole() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    SetConsoleMode(handle_, saved_);
    CloseHandle(handle_);
  }
  RawConsole(const RawConsole&) = delete;
  RawConsole& operator=(const RawConsole&) = delete;

  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD saved_ = 0;
};

bool KeyFromVirtualKey(WORD virtualKey, ExtendedKey* key) {
  if (virtualKey >= VK_F1 && virtualKey <= VK_F12) {
    *key = static_cast<ExtendedKey>(virtualKey - VK_F1);
    return true;
  }
  switch (virtualKey) {
    case VK_HOME:
      *key = ExtendedKey::kHome;
      return true;
    case VK_UP:
      *key = ExtendedKey::kUp;
      return true;
    case VK_PRIOR:
      *key = ExtendedKey::kPageUp;
      return true;
    case VK_LEFT:
      *key = ExtendedKey::kLeft;
      return true;
    case VK_RIGHT:
      *key = ExtendedKey::kRight;
      return true;
    case VK_END:
      *key = ExtendedKey::kEnd;
      return true;
    case VK_DOWN:
      *key = ExtendedKey::kDown;
      return true;
    case VK_NEXT:
      *key = ExtendedKey::kPageDown;
      return true;
    case VK_INSERT:
      *key = ExtendedKey::kInsert;
      return true;
    case VK_DELETE:
      *key = ExtendedKey::kDelete;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool HasConsole() {
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return false;
  CloseHandle(input);
  return true;
}

bool ConsoleOfItsOwn() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return false;
  // Wine gives a process started from a Unix terminal a console of its own:
  // there the terminal, like a command prompt, stays open.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

ConsoleKey ReadConsoleKey() {
  RawConsole console;
  if (!console.ok()) return {kEndOfInput, -1};
  for (;;) {
    INPUT_RECORD record{};
    DWORD count = 0;
    if (!ReadConsoleInputA(console.handle(), &record, 1, &count) || count == 0) {
      return {kEndOfInput, -1};
    }
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (key.uChar.AsciiChar != 0) return {static_cast<unsigned char>(key.uChar.AsciiChar), -1};
    ExtendedKey extended{};
    if (!KeyFromVirtualKey(key.wVirtualKeyCode, &extended)) continue;  // Shift alone and the like
    DWORD state = key.dwControlKeyState;
    KeyModifiers modifiers;
    modifiers.shift = (state & SHIFT_PRESSED) != 0;
    modifiers.ctrl = (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    modifiers.alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    KeyCodes codes = ExtendedKeyCodes(extended, modifiers);
    // The numeric keypad's cursor keys, unlike the grey ones, have the prefix 0.
    if (extended >= ExtendedKey::kHome && (state & ENHANCED_KEY) == 0) codes.prefix = 0;
    return {codes.prefix, codes.second};
  }
}
