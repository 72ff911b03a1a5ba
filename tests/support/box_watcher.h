// Test helper: answers the message boxes that the code under test shows, from a second
// thread, so that no person has to press OK. It records each box's caption and text.
// A test that uses it holds the display-focus lock: a box takes the keyboard focus, so keys
// that another test types would land in it, and could close it before it is seen.
#pragma once

#include <windows.h>

#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
  std::string Caption;
  std::string Text;
};

class BoxWatcher {
public:
  // Watches the boxes owned by the calling thread.
  BoxWatcher() : owner_(GetCurrentThreadId()), thread_([this] { Run(); }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  std::vector<SeenBox> Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

private:
  struct Search {
    DWORD owner;
    HWND found;
  };

  static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetWindowThreadProcessId(window, nullptr) == search->owner) {
      search->found = window;
      return FALSE;
    }
    return TRUE;
  }

  static BOOL CALLBACK FindText(HWND child, LPARAM param) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") != 0) return TRUE;
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) {
      *reinterpret_cast<std::string*>(param) = text;
      return FALSE;
    }
    return TRUE;
  }

  void Run() {
    while (!stop_) {
      Search search = {owner_, nullptr};
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
      if (search.found) {
        char caption[128] = {};
        GetWindowTextA(search.found, caption, sizeof caption);
        std::string text;
        EnumChildWindows(search.found, FindText, reinterpret_cast<LPARAM>(&text));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          seen_.push_back({caption, text});
        }
        PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 200 && IsWindow(search.found); ++i) Sleep(10);
      }
      Sleep(10);
    }
  }

  DWORD owner_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<SeenBox> seen_;
  std::thread thread_;
};
