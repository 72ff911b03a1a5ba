// Built with app/main.cpp and the program's own start-up: ProgramEntry must construct these
// globals before the applet runs and destroy them after it, in the compiler's usual order.
#include "startup_probe.h"

#include <windows.h>

#include "app/feedback_form.h"
#include "gui/message_loop.h"

void Say(const char* sign, const char* name) {
  DWORD written;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  WriteFile(out, sign, lstrlenA(sign), &written, nullptr);
  WriteFile(out, name, lstrlenA(name), &written, nullptr);
  WriteFile(out, " ", 1, &written, nullptr);
}

Tracer::Tracer(const char* name) : Name(name) {
  Say("+", Name);
}

Tracer::~Tracer() {
  Say("-", Name);
}

Tracer gFirst("a1");
Tracer gSecond("a2");

// The applet's two steps, as stand-ins.
void CreateFeedbackForm(Widget*, FeedbackForm** form) {
  alignas(FeedbackForm) static char storage[sizeof(FeedbackForm)];
  *form = reinterpret_cast<FeedbackForm*>(storage);
  Say("", "form");
}

void RunMainLoop(Widget**) {
  Say("", "loop");
}
