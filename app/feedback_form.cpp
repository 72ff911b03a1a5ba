// The feedback window: construction with its fixed layout, the texts that depend on the
// product name, the "Uninstall" button, and the close that hands the answer over to
// report delivery.
#include "app/feedback_form.h"

#include "app/dpi_awareness.h"
#include "app/exitpoll_icons.h"
#include "app/param_str.h"
#include "app/report_delivery.h"
#include "gui/controls.h"
#include "gui/dpi_scale.h"
#include "gui/message_loop.h"

namespace {

const char kIconName[] = "MAINICON";
const WORD kScaledIconId = EXITPOLL_SCALED_ICON;
const char kFontFace[] = "Tahoma";
const int kFontHeight = -11;

const char kOtherSeparator[] = ": ";
const int kOtherPosition = kReasonCount;  // "Other", after OtherEdit and six reasons

// The button row: the main button's place and size, which the Skip button shares left of it,
// and the Notice line in the free space left of them.
const int kButtonLeft = 328;
const int kButtonTop = 252;
const int kButtonWidth = 76;
const int kButtonHeight = 25;
const int kButtonGap = 8;
const int kNoticeLeft = 16;  // under the group box's left edge

Widget* Place(Widget* w, int left, int top, int width, int height) {
  SetPosition(w, Scaled(left), Scaled(top));
  return SetSize(w, Scaled(width), Scaled(height));
}

// The big icon, 32 pixels at 96 DPI. Scaled, it is loaded at the scaled size: the system's
// own icon size follows the DPI only where the system scales for the program, and an icon
// stretched afterwards is blurred. Scaled up, it comes from the group drawn at 48 and 64
// pixels (PNG, which Windows reads from Vista on), else from the program's group.
void SetFormIcon(Widget* form) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  int size = Scaled(32);
  HANDLE icon = nullptr;
  if (gToolkit.Dpi > kDesignDpi)
    icon = LoadImageA(module, MAKEINTRESOURCEA(kScaledIconId), IMAGE_ICON, size, size, 0);
  if (!icon && gToolkit.Dpi != kDesignDpi)
    icon = LoadImageA(module, kIconName, IMAGE_ICON, size, size, 0);
  if (icon) {
    SetIcon(form, static_cast<HICON>(icon));  // the form's own, destroyed with its window
  } else {
    SetIconFromResource(form, module, kIconName);
  }
}

// A button of the row at `left`: pressed by `key` (VK_RETURN: the default button,
// VK_ESCAPE: the cancel button), its caption moving while it is held down.
OwnerDrawButton* CreateRowButton(Widget* form, int left, BoundMethod<Widget*> onClick, int key) {
  OwnerDrawButton* button = CreateOwnerDrawButton(form, "", 0, 0, nullptr, 0);
  Place(button, left, kButtonTop, kButtonWidth, kButtonHeight);
  button->OnClick = onClick;
  button->HandlesReturn = false;
  button->TextShiftX = Scaled(1);
  button->TextShiftY = Scaled(1);
  SetDefaultKey(button, key, true);
  return button;
}

const DWORD kMinMaxBoxes = WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
const DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

}  // namespace

void CreateFeedbackForm(Widget* parent, FeedbackForm** result) {
  FeedbackForm* f = CreateObject<FeedbackForm>();
  *result = f;
  LoadSettings(f->Config);
  // Before the first window: the system then neither scales nor stretches the window.
  if (f->Config.DpiAware) gToolkit.Dpi = DeclareDpiAware();

  Widget* form = CreateFormWidget(parent, f->Config.Caption);
  f->Form = form;
  Place(form, 324, 199, 430, 328);
  gToolkit.MainWidget = form;
  AttachOwned(form, f);
  SetStyle(form, form->Style & ~kMinMaxBoxes);
  SetFormIcon(form);
  SetFontHeight(GetFont(form), Scaled(kFontHeight));
  SetFontName(GetFont(form), kFontFace);
  form->OnClose = Bind<&FeedbackForm::FormClose>(f);
  // Set before the default button's key filter is installed, which then runs it first.
  if (!f->Config.Skip.IsEmpty()) form->OnMessage = Bind<&FeedbackForm::FormKeys>(f);

  f->QuestionLabel = CreateLabel(form, "");
  SetPosition(f->QuestionLabel, Scaled(95), Scaled(36));
  SetAutoSize(f->QuestionLabel, true);
  SetFontStyle(f->QuestionLabel, kFontBold);

  f->TitlePanel = CreateGradientPanel(form, kColorButtonShadow, kColorButtonHighlight);
  Place(f->TitlePanel, 4, 8, 412, 20);
  SetLook3D(f->TitlePanel, false);
  SetHasBorder(f->TitlePanel, false);
  f->TitlePanel->TabStop = false;
  f->TitlePanel->Margin = 0;
  SetGradientDirection(f->TitlePanel, kGradientLeftToRight);

  f->TitleLabel = CreateLabel(f->TitlePanel, "");
  SetPosition(f->TitleLabel, Scaled(8), Scaled(3));
  SetToolColor(f->TitleLabel, kColorWhite);
  SetFontStyle(f->TitleLabel, kFontBold);
  SetTransparent(f->TitleLabel, true);

  f->ChoiceGroup = CreateGroupBox(form, "");
  Place(f->ChoiceGroup, 16, 60, 389, 181);
  f->ChoiceGroup->TabStop = false;

  f->OtherEdit = CreateEditBox(f->ChoiceGroup, 0);
  SetPosition(f->OtherEdit, Scaled(78), Scaled(150));
  SetWidth(f->OtherEdit, Scaled(301));
  SetColor(f->OtherEdit, kColorWindow);

  f->UninstallButton =
      CreateRowButton(form, kButtonLeft, Bind<&FeedbackForm::UninstallButtonClick>(f), VK_RETURN);
  int rowLeft = kButtonLeft;  // left end of the buttons
  if (!f->Config.Skip.IsEmpty()) {
    rowLeft -= kButtonWidth + kButtonGap;
    f->SkipButton =
        CreateRowButton(form, rowLeft, Bind<&FeedbackForm::SkipButtonClick>(f), VK_ESCAPE);
  }
  if (!f->Config.Notice.IsEmpty()) {
    // One line, centred on the buttons' height, cut with an ellipsis short of them.
    f->NoticeLabel = CreateLabel(form, "");
    SetStyle(f->NoticeLabel, f->NoticeLabel->Style | SS_CENTERIMAGE | SS_ENDELLIPSIS);
    Place(f->NoticeLabel, kNoticeLeft, kButtonTop, rowLeft - kButtonGap - kNoticeLeft,
          kButtonHeight);
    SetToolColor(f->NoticeLabel, kColorGrayText);
  }

  SetResizable(form, false);
  f->FormCreate();
}

void FeedbackForm::FormCreate() {
  SetStyle(Form, Form->Style | WS_POPUP | WS_CAPTION);
  SetExStyle(Form, kDialogExStyle);
  // Uninstallers pass names with spaces as underscores.
  ProductName = ParamStr(1);
  for (int i = 0; i < ProductName.Length(); ++i)
    if (ProductName[i] == '_') ProductName.MutableData()[i] = ' ';
  LoadTexts();
  Form->FocusedChild = OtherEdit;
}

void FeedbackForm::LoadTexts() {
  // The rows' step in designed pixels, from the group box's inside, then each row scaled: a
  // step scaled first would add up its rounding over the rows.
  int step = (UnscaledFromDpi(ClientHeight(ChoiceGroup), gToolkit.Dpi) - 16) / 6;
  Widget* last = nullptr;
  for (int i = 0; i < kReasonCount; ++i) {
    last = CreateRadioBox(ChoiceGroup, Config.Reasons[i]);
    SetTop(last, Scaled(12 + step * i));
    SetLeft(last, Scaled(8));
    SetAutoSize(last, true);
  }
  Click(last);  // "Other" starts checked

  SetText(TitleLabel, Config.Title);
  SetText(QuestionLabel, WithProduct(Config.Question, ProductName));
  SetLeft(QuestionLabel, ClientWidth(Form) / 2 - GetWidth(QuestionLabel) / 2);
  SetText(UninstallButton, Config.Button);
  if (SkipButton) SetText(SkipButton, Config.Skip);
  if (NoticeLabel) SetText(NoticeLabel, WithProduct(Config.Notice, ProductName));
}

void FeedbackForm::UninstallButtonClick(Widget*) {
  Sending = true;
  SetEnabled(UninstallButton, false);
  Hide(Form);
  PostClose(Form);
}

void FeedbackForm::SkipButtonClick(Widget*) {
  Hide(Form);
  PostClose(Form);
}

void FeedbackForm::FormKeys(WidgetMessage* m, LRESULT* result, bool* handled) {
  if (LOWORD(m->Msg) != WM_KEYDOWN || (GetKeyState(VK_CONTROL) | GetKeyState(VK_MENU)) < 0) return;
  HWND focus = GetFocus();
  if (m->WParam == VK_RETURN && focus == SkipButton->Handle) {
    // A user who went to "Don't send" and pressed Return means that button, not the default.
    Click(SkipButton);
  } else if (m->WParam == VK_TAB) {
    Widget* order[] = {OtherEdit, SkipButton, UninstallButton};
    const int count = sizeof(order) / sizeof(order[0]);
    bool back = GetKeyState(VK_SHIFT) < 0;
    int at = 0;
    while (at < count && order[at]->Handle != focus) ++at;
    if (at == count) at = back ? 0 : count - 1;  // from a radio box: to the first or the last
    SetFocus(GetHandle(order[(at + (back ? count - 1 : 1)) % count]));
  } else {
    return;
  }
  *result = 0;
  *handled = true;
}

void FeedbackForm::FormClose(Widget*, bool* accept) {
  if (Closing) {
    // A second close (the close box again, or the button) while the report is on its
    // way: refused, so that one run sends one report and opens at most one mail.
    *accept = false;
    return;
  }
  Closing = true;
  // With a way to decline, only the main button sends; every other close declines.
  if (SkipButton && !Sending) return;

  ByteString reason;
  int position;
  if (!ChosenReason(reason, position)) return;  // nothing chosen, nothing to say
  DeliverReport(ProductName, reason, Config, position);
}

bool FeedbackForm::ChosenReason(ByteString& reason, int& position) {
  position = 0;
  int count = ChildCount(ChoiceGroup);
  while (position < count && !IsChecked(ChildAt(ChoiceGroup, position))) ++position;
  if (position == count) return false;
  reason = GetText(ChildAt(ChoiceGroup, position));
  if (position == kOtherPosition) reason = reason + kOtherSeparator + GetText(OtherEdit);
  return true;
}
