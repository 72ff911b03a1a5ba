// Start-up and finalisation of a program that links no C run-time (exitpoll.exe).
#pragma once

// Runs the static constructors, which also register the globals' destructors.
void RunStaticConstructors();
// Runs the registered destructors, the last registered first.
void RunExitFunctions();
