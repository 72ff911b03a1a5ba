// exitpoll.exe: started by a product's uninstaller with the product's name as its first
// parameter; shows the feedback window, reports the answer when it closes, exits with 0.
#include <windows.h>

#include "app/feedback_form.h"
#include "gui/message_loop.h"

// The one feedback form; freed with its window when the loop ends.
FeedbackForm* FormInstance;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CreateFeedbackForm(nullptr, &FormInstance);
  RunMainLoop(&FormInstance->Form);
  FormInstance = nullptr;
  return 0;  // whatever became of the report
}
