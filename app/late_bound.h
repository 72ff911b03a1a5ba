// Functions of system DLLs that older Windows lacks, found at run time, so that the
// program's import table names only functions that Windows 95 and NT 4.0 have.
#pragma once

// The entry point `function` of the DLL `library` (loaded if it is not yet), or null when
// either is missing. The DLL stays loaded for the rest of the run.
void* LateBound(const char* library, const char* function);
