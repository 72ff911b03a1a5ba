// FeedbackForm: the applet's one window, asking why the product is being removed, with
// seven reasons, a free-text field for "Other" and the "Uninstall" button. Closing it in
// any way delivers the answer (report_delivery.h).
#pragma once

#include "app/settings.h"
#include "gui/controls/gradient_panel.h"
#include "gui/controls/owner_draw_button.h"
#include "gui/widget.h"
#include "rt/byte_string.h"

class FeedbackForm : public RefObject {
public:
  // Construction steps, run by CreateFeedbackForm.
  void FormCreate();
  void LoadTexts();

  // Event handlers.
  void UninstallButtonClick(Widget* sender);
  void SkipButtonClick(Widget* sender);
  // With a Skip button: Tab and Shift+Tab move the focus between the free-text field and
  // the two buttons, and Return presses the button that has the focus.
  void FormKeys(WidgetMessage* m, LRESULT* result, bool* handled);
  void FormClose(Widget* sender, bool* accept);

  // The checked radio box's caption, for "Other" followed by ": " and the free text, and
  // its position from 1 to 7; false when no radio box is checked.
  bool ChosenReason(ByteString& reason, int& position);

  Widget* Form;
  GradientPanel* TitlePanel;
  Widget* TitleLabel;
  Widget* QuestionLabel;
  // Children in order: OtherEdit, then the seven reason radio boxes.
  Widget* ChoiceGroup;
  OwnerDrawButton* UninstallButton;
  Widget* OtherEdit;
  OwnerDrawButton* SkipButton;  // null unless the settings name a Skip text
  Widget* NoticeLabel;          // null unless the settings name a Notice text
  ByteString ProductName;
  // Set when the first close starts delivering the report, never cleared: a close
  // requested while that one runs is refused, so there is one report per run.
  bool Closing;
  bool Sending;  // the main button was pressed: with a Skip button, only that close sends
  // The host, the mail address and the texts: built in, or from the settings file.
  Settings Config;
};

// Builds the form under `parent` (null for a top-level window), makes its window the
// toolkit's MainWidget, reads the settings file and the product name from parameter 1 of
// the command line.
// The windows stay hidden until the message loop shows the form.
void CreateFeedbackForm(Widget* parent, FeedbackForm** form);
