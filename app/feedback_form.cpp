// The feedback window: construction with its fixed layout, the texts that depend on the
// product name, the "Uninstall" button, and the close that hands the answer over to
// report delivery.
#include "app/feedback_form.h"

#include "app/delivery_rules.h"
#include "app/param_str.h"
#include "app/report_delivery.h"
#include "gui/controls.h"
#include "gui/message_loop.h"

namespace {

const char kIconName[] = "MAINICON";
const char kFontFace[] = "Tahoma";
const int kFontHeight = -11;

const char kOtherSeparator[] = ": ";
const int kOtherPosition = kReasonCount;  // "Other", after OtherEdit and six reasons

const DWORD kMinMaxBoxes = WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
const DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

}  // namespace

void CreateFeedbackForm(Widget* parent, FeedbackForm** result) {
  FeedbackForm* f = CreateObject<FeedbackForm>();
  *result = f;
  LoadSettings(f->Config);

  Widget* form = CreateFormWidget(parent, f->Config.Caption);
  f->Form = form;
  SetPosition(form, 324, 199);
  SetSize(form, 430, 328);
  gToolkit.MainWidget = form;
  AttachOwned(form, f);
  SetStyle(form, form->Style & ~kMinMaxBoxes);
  SetIconFromResource(form, GetModuleHandleA(nullptr), kIconName);
  SetFontHeight(GetFont(form), kFontHeight);
  SetFontName(GetFont(form), kFontFace);
  form->OnClose = Bind<&FeedbackForm::FormClose>(f);

  f->QuestionLabel = CreateLabel(form, "");
  SetPosition(f->QuestionLabel, 95, 36);
  SetAutoSize(f->QuestionLabel, true);
  SetFontStyle(f->QuestionLabel, kFontBold);

  f->TitlePanel = CreateGradientPanel(form, kColorButtonShadow, kColorButtonHighlight);
  SetPosition(f->TitlePanel, 4, 8);
  SetSize(f->TitlePanel, 412, 20);
  SetLook3D(f->TitlePanel, false);
  SetHasBorder(f->TitlePanel, false);
  f->TitlePanel->TabStop = false;
  f->TitlePanel->Margin = 0;
  SetGradientDirection(f->TitlePanel, kGradientLeftToRight);

  f->TitleLabel = CreateLabel(f->TitlePanel, "");
  SetPosition(f->TitleLabel, 8, 3);
  SetToolColor(f->TitleLabel, kColorWhite);
  SetFontStyle(f->TitleLabel, kFontBold);
  SetTransparent(f->TitleLabel, true);

  f->ChoiceGroup = CreateGroupBox(form, "");
  SetPosition(f->ChoiceGroup, 16, 60);
  SetSize(f->ChoiceGroup, 389, 181);
  f->ChoiceGroup->TabStop = false;

  f->OtherEdit = CreateEditBox(f->ChoiceGroup, 0);
  SetPosition(f->OtherEdit, 78, 150);
  SetWidth(f->OtherEdit, 301);
  SetColor(f->OtherEdit, kColorWindow);

  f->UninstallButton = CreateOwnerDrawButton(form, "", 0, 0, nullptr, 0);
  SetPosition(f->UninstallButton, 328, 252);
  SetSize(f->UninstallButton, 76, 25);
  f->UninstallButton->OnClick = Bind<&FeedbackForm::UninstallButtonClick>(f);
  f->UninstallButton->HandlesReturn = false;
  f->UninstallButton->TextShiftX = 1;  // the caption moves while the button is pressed
  f->UninstallButton->TextShiftY = 1;
  SetDefaultKey(f->UninstallButton, VK_RETURN, true);

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
  int step = (ClientHeight(ChoiceGroup) - 16) / 6;
  Widget* last = nullptr;
  for (int i = 0; i < kReasonCount; ++i) {
    last = CreateRadioBox(ChoiceGroup, Config.Reasons[i]);
    SetTop(last, 12 + step * i);
    SetLeft(last, 8);
    SetAutoSize(last, true);
  }
  Click(last);  // "Other" starts checked

  SetText(TitleLabel, Config.Title);
  SetText(QuestionLabel, WithProduct(Config.Question, ProductName));
  SetLeft(QuestionLabel, ClientWidth(Form) / 2 - GetWidth(QuestionLabel) / 2);
  SetText(UninstallButton, Config.Button);
}

void FeedbackForm::UninstallButtonClick(Widget*) {
  SetEnabled(UninstallButton, false);
  Hide(Form);
  PostClose(Form);
}

void FeedbackForm::FormClose(Widget*, bool* accept) {
  if (Closing) {
    // A second close (the close box again, or the button) while the report is on its
    // way: refused, so that one run sends one report and opens at most one mail.
    *accept = false;
    return;
  }
  Closing = true;

  ByteString reason;
  if (!ChosenReason(reason)) return;  // nothing chosen, nothing to say
  DeliverReport(ProductName, reason, Config.Host, Config.Email, Config.Keys,
                Bind<&FeedbackForm::HttpDone>(this), Waiting, Config.Url);
}

void FeedbackForm::HttpDone(HttpClient* sender) {
  // Raised after every batch of data: an "OK" may still be on its way unless the lines so
  // far are accepted or the server has closed the connection.
  if (ReplyAccepted(sender->HeaderLines) || sender->Closed || sender->Failed) Waiting = false;
}

bool FeedbackForm::ChosenReason(ByteString& reason) {
  int position = 0;
  int count = ChildCount(ChoiceGroup);
  while (position < count && !IsChecked(ChildAt(ChoiceGroup, position))) ++position;
  if (position == count) return false;
  reason = GetText(ChildAt(ChoiceGroup, position));
  if (position == kOtherPosition) reason = reason + kOtherSeparator + GetText(OtherEdit);
  return true;
}
