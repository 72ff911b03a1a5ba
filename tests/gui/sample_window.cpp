// A sample window built only from the toolkit's constructors: a form with a gradient
// strip, a transparent label, a group box of radio boxes, an edit box and an owner-drawn
// default button. With a file argument it writes there, at its first paint, the times
// from process start and the places the screenshot check samples.
#include <windows.h>

#include <stdio.h>

#include "gui/controls.h"
#include "gui/message_loop.h"

namespace {

const char* gInfoPath;
bool gPainted;
GradientPanel* gPanel;

unsigned long long UnixMs(FILETIME t) {
  ULARGE_INTEGER v;
  v.LowPart = t.dwLowDateTime;
  v.HighPart = t.dwHighDateTime;
  return (v.QuadPart - 116444736000000000ULL) / 10000;
}

// Notes the first paint of the form: the moment the window shows its contents.
bool FirstPaintProbe(Widget* w, WidgetMessage& m, LRESULT&) {
  if (LOWORD(m.Msg) != WM_PAINT || gPainted || !gInfoPath) return false;
  gPainted = true;
  FILETIME now, created, exited, kernel, user;
  GetSystemTimeAsFileTime(&now);
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  POINT panel = {0, 0};
  ClientToScreen(GetHandle(gPanel), &panel);
  RECT r;
  GetClientRect(gPanel->Handle, &r);
  FILE* file = fopen(gInfoPath, "wb");
  if (!file) return false;
  fprintf(file, "first_paint_unix_ms=%llu\n", UnixMs(now));
  fprintf(file, "since_process_start_ms=%llu\n", UnixMs(now) - UnixMs(created));
  fprintf(file, "gradient_left=%ld gradient_top=%ld gradient_width=%ld\n", panel.x, panel.y,
          r.right);
  fprintf(file, "gradient_from=%06lx gradient_to=%06lx\n",
          static_cast<unsigned long>(SwapRedBlue(ToColorRef(gPanel->GradientFrom))),
          static_cast<unsigned long>(SwapRedBlue(ToColorRef(gPanel->GradientTo))));
  fprintf(file, "window=%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w->Handle)));
  fclose(file);
  return false;
}

struct Sample {
  Widget* Form;
  void ButtonClick(Widget*) { PostClose(Form); }
};

}  // namespace

int main(int argc, char** argv) {
  gInfoPath = argc > 1 ? argv[1] : nullptr;
  Sample sample = {};
  Widget* form = CreateFormWidget(nullptr, "Sample");
  sample.Form = form;
  SetPosition(form, 200, 150);
  SetSize(form, 430, 328);
  gToolkit.MainWidget = form;
  SetFontHeight(GetFont(form), -11);
  SetFontName(GetFont(form), "Tahoma");
  AttachHandler(form, &FirstPaintProbe);

  Widget* question = CreateLabel(form, "Which of these do you like best?");
  SetTop(question, 36);
  SetAutoSize(question, true);
  SetFontStyle(question, kFontBold);
  SetLeft(question, ClientWidth(form) / 2 - GetWidth(question) / 2);

  gPanel = CreateGradientPanel(form, kColorButtonShadow, kColorButtonHighlight);
  SetPosition(gPanel, 4, 8);
  SetSize(gPanel, 412, 20);
  SetLook3D(gPanel, false);
  SetHasBorder(gPanel, false);
  gPanel->TabStop = false;
  gPanel->Margin = 0;
  SetGradientDirection(gPanel, 1);

  Widget* title = CreateLabel(gPanel, "");
  SetPosition(title, 8, 3);
  SetToolColor(title, 0x00FFFFFF);
  SetFontStyle(title, kFontBold);
  SetTransparent(title, true);

  Widget* group = CreateGroupBox(form, "");
  SetPosition(group, 16, 60);
  SetSize(group, 389, 181);
  group->TabStop = false;

  Widget* edit = CreateEditBox(group, 0);
  SetPosition(edit, 78, 150);
  SetSize(edit, 301, 0);
  SetColor(edit, kColorWindow);

  OwnerDrawButton* button = CreateOwnerDrawButton(form, "", 0, 0, nullptr, 0);
  SetPosition(button, 328, 252);
  SetSize(button, 76, 25);
  button->OnClick = Bind<&Sample::ButtonClick>(&sample);
  button->HandlesReturn = false;
  button->TextShiftX = 1;
  button->TextShiftY = 1;
  SetDefaultKey(button, VK_RETURN, true);

  const char* const kChoices[] = {"Apples", "Pears", "Plums", "Cherries", "Other"};
  int step = (ClientHeight(group) - 16) / 6;
  Widget* last = nullptr;
  for (int i = 0; i < 5; ++i) {
    last = CreateRadioBox(group, kChoices[i]);
    SetTop(last, 12 + step * (i + 2));
    SetLeft(last, 8);
    SetAutoSize(last, true);
  }
  Click(last);
  SetText(title, "Question:");
  SetText(button, "Close");
  form->FocusedChild = edit;

  RunMainLoop(&gToolkit.MainWidget);
  return 0;
}
