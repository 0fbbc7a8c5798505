// The building blocks of both dialogs' modality, in this process: which windows
// DisableThreadWindows picks, what RestoreThreadWindows gives back and in which order, other
// threads' entries, running out of memory, and ForegroundOwner.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/message_box.h"

namespace {

// WM_ENABLE as the windows of this test see it, e.g. "A0 B0 B1 A1".
std::string enable_log;

LRESULT CALLBACK TestProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENABLE) {
    char name[32] = {};
    GetWindowTextA(window, name, sizeof name);
    enable_log += std::string(enable_log.empty() ? "" : " ") + name + (wParam ? "1" : "0");
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterTestClass() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TestProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ModalityTest";
  RegisterClassExA(&windowClass);
}

// Handles this thread's messages for a while: the display's answers to focus changes arrive
// as messages, and a window only counts as foreground once they are in.
void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  MSG message;
  do {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
}

// A top-level window of the calling thread, shown without taking the activation.
HWND MakeWindow(const char* name, bool visible, bool enabled) {
  RegisterTestClass();
  HWND window = CreateWindowExA(0, "ModalityTest", name, WS_OVERLAPPEDWINDOW, 30, 600, 160, 80,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
  if (!enabled) EnableWindow(window, FALSE);
  return window;
}

bool MakeForeground(HWND window) {
  SetForegroundWindow(window);
  Pump(100);
  return GetForegroundWindow() == window;
}

// A second thread with one window "T", doing what it is told between its messages.
class OtherThread {
 public:
  OtherThread() {
    ready_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    done_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    WaitForSingleObject(done_, 5000);
  }
  ~OtherThread() {
    Do(kQuit);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    CloseHandle(ready_);
    CloseHandle(done_);
  }
  void Disable() { Do(kDisable); }
  void Restore() { Do(kRestore); }
  void Foreground() { Do(kForeground); }
  void* Owner() {
    Do(kOwner);
    return owner_;
  }

  HWND window = nullptr;

 private:
  enum Command { kDisable, kRestore, kForeground, kOwner, kQuit };

  void Do(Command command) {
    command_ = command;
    SetEvent(ready_);
    WaitForSingleObject(done_, 5000);
  }

  static DWORD WINAPI Run(LPVOID self) {
    auto* t = static_cast<OtherThread*>(self);
    t->window = MakeWindow("T", true, true);
    SetEvent(t->done_);
    for (;;) {
      // This thread's windows stay serviced while it waits for the next command.
      while (MsgWaitForMultipleObjects(1, &t->ready_, FALSE, INFINITE, QS_ALLINPUT) ==
             WAIT_OBJECT_0 + 1)
        Pump(0);
      const Command command = t->command_;
      switch (command) {
        case kDisable: runtime::DisableThreadWindows(); break;
        case kRestore: runtime::RestoreThreadWindows(); break;
        case kForeground: SetForegroundWindow(t->window); Pump(100); break;
        case kOwner: t->owner_ = runtime::ForegroundOwner(); break;
        case kQuit: DestroyWindow(t->window); break;
      }
      SetEvent(t->done_);
      if (command == kQuit) return 0;
    }
  }

  HANDLE ready_ = nullptr;
  HANDLE done_ = nullptr;
  HANDLE thread_ = nullptr;
  volatile Command command_ = kQuit;
  void* owner_ = nullptr;
};

struct Windows {
  HWND fg, a, b, hidden, disabled;
  Windows()
      : fg(MakeWindow("F", true, true)),
        a(MakeWindow("A", true, true)),
        b(MakeWindow("B", true, true)),
        hidden(MakeWindow("H", false, true)),
        disabled(MakeWindow("D", true, false)) {}
  ~Windows() {
    for (HWND w : {fg, a, b, hidden, disabled}) DestroyWindow(w);
  }
};

std::string States(std::initializer_list<HWND> windows) {
  std::string states;
  for (HWND w : windows) {
    char name[32] = {};
    GetWindowTextA(w, name, sizeof name);
    states += std::string(states.empty() ? "" : " ") + name + (IsWindowEnabled(w) ? "+" : "-") +
              (IsWindowVisible(w) ? "" : "h");
  }
  return states;
}

TEST(DisableThreadWindows, PicksVisibleEnabledWindowsOfThisThreadButTheForeground) {
  Windows w;
  OtherThread other;
  ASSERT_TRUE(MakeForeground(w.fg)) << "foreground " << GetForegroundWindow();
  const std::string before = States({w.fg, w.a, w.b, w.hidden, w.disabled, other.window});
  EXPECT_EQ(before, "F+ A+ B+ H+h D- T+");
  enable_log.clear();

  runtime::DisableThreadWindows();
  EXPECT_EQ(States({w.fg, w.a, w.b, w.hidden, w.disabled, other.window}), "F+ A- B- H+h D- T+");
  const std::string disabled = enable_log;  // enumeration order, e.g. "B0 A0"

  enable_log.clear();
  runtime::RestoreThreadWindows();
  EXPECT_EQ(States({w.fg, w.a, w.b, w.hidden, w.disabled, other.window}), before);
  // Newest entry first: restored in the reverse order of disabling.
  const std::string expected = disabled == "A0 B0" ? "B1 A1" : "A1 B1";
  EXPECT_TRUE(disabled == "A0 B0" || disabled == "B0 A0") << disabled;
  EXPECT_EQ(enable_log, expected);

  // Nothing of this thread is left in the list: a second pass changes nothing.
  EnableWindow(w.a, FALSE);
  runtime::RestoreThreadWindows();
  EXPECT_FALSE(IsWindowEnabled(w.a));
}

TEST(RestoreThreadWindows, LeavesOtherThreadsEntriesAlone) {
  Windows w;
  OtherThread other;
  ASSERT_TRUE(MakeForeground(w.fg));
  other.Disable();  // T is not in the foreground, so its thread disables it
  EXPECT_EQ(States({other.window}), "T-");
  runtime::DisableThreadWindows();
  EXPECT_EQ(States({w.a, w.b, other.window}), "A- B- T-");

  runtime::RestoreThreadWindows();
  EXPECT_EQ(States({w.a, w.b, other.window}), "A+ B+ T-");
  other.Restore();
  EXPECT_EQ(States({w.a, w.b, other.window}), "A+ B+ T+");
}

TEST(DisableThreadWindows, NoWindowStaysDisabledWithoutAnEntry) {
  for (int failing = 1; failing <= 2; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
    Windows w;
    ASSERT_TRUE(MakeForeground(w.fg));
    runtime::FailAllocationAfter(failing);
    runtime::DisableThreadWindows();
    runtime::FailAllocationAfter(0);
    // One of A and B got no entry, and so was never disabled.
    const std::string during = States({w.a, w.b});
    EXPECT_TRUE(during == "A+ B-" || during == "A- B+") << during;
    runtime::RestoreThreadWindows();
    EXPECT_EQ(States({w.fg, w.a, w.b, w.hidden, w.disabled}), "F+ A+ B+ H+h D-");
    EnableWindow(w.b, FALSE);
    EnableWindow(w.a, FALSE);
    runtime::RestoreThreadWindows();
    EXPECT_EQ(States({w.a, w.b}), "A- B-");
  }
}

TEST(ForegroundOwner, AnyWindowOfThisProcessInTheForeground) {
  Windows w;
  OtherThread other;
  ASSERT_TRUE(MakeForeground(w.fg));
  EXPECT_EQ(runtime::ForegroundOwner(), static_cast<void*>(w.fg));
  EXPECT_EQ(other.Owner(), static_cast<void*>(w.fg));  // asked from the other thread

  other.Foreground();
  ASSERT_EQ(GetForegroundWindow(), other.window);
  EXPECT_EQ(runtime::ForegroundOwner(), static_cast<void*>(other.window));
  // The foreground window belongs to another thread: this thread disables all of its own.
  runtime::DisableThreadWindows();
  EXPECT_EQ(States({w.fg, w.a, w.b, other.window}), "F- A- B- T+");
  runtime::RestoreThreadWindows();
  EXPECT_EQ(States({w.fg, w.a, w.b, other.window}), "F+ A+ B+ T+");
}

TEST(ShowMessage, AbsentTextsShowNoBox) {
  const DWORD start = GetTickCount();
  EXPECT_EQ(runtime::ShowMessage(runtime::Text(), runtime::Text("x")), 0);
  EXPECT_EQ(runtime::ShowMessage(runtime::Text("x"), runtime::Text()), 0);
  EXPECT_LT(GetTickCount() - start, 1000u);
}

}  // namespace
