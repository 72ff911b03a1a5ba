// exitpoll.exe: started by a product's uninstaller with the product's name as its first
// parameter; shows the feedback window, reports the answer when it closes, exits with 0.
// The program links no C run-time: ProgramEntry is the process's entry point.
#include <windows.h>

#include "app/feedback_form.h"
#include "gui/message_loop.h"
#include "rt/startup.h"
#include "rt/system_library.h"

// The one feedback form; freed with its window when the loop ends.
FeedbackForm* FormInstance;

namespace {

// The product name comes from the command line through the parameter rule (FormCreate
// reads it), so the entry passes nothing on.
void RunApplet() {
  CreateFeedbackForm(nullptr, &FormInstance);
  RunMainLoop(&FormInstance->Form);
  FormInstance = nullptr;
}

}  // namespace

// Windows enters with the stack aligned to 4 bytes only; the compiler may assume more.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void ProgramEntry() {
  RestrictDllSearch();  // before anything loads a DLL
  RunStaticConstructors();
  RunApplet();
  RunExitFunctions();
  ExitProcess(0);  // whatever became of the report
}
