// The report's GET through the system's own HTTP stack (WinINet, loaded at run time, so the
// program still starts where it is missing): the system's proxy settings, HTTPS with full
// certificate validation and the system's redirects. The request runs on a worker thread, so
// that the caller's bounded wait holds whatever the network does; its end is raised as a
// completion on the caller's thread.
#pragma once

#include "rt/bound_method.h"
#include "rt/byte_string.h"

struct SystemRequest;

// Starts the GET of `url` and returns at once; null when the system's stack cannot be
// loaded. `onDone` is raised on the calling thread, from inside its message dispatch, once
// the reply is complete or the request has failed; FinishSystemRequest tells which.
SystemRequest* StartSystemRequest(const ByteString& url, BoundMethod<> onDone);

// Whether the request has finished and the last line of its final reply's body is exactly
// "OK". Lets go of the request: a worker still running sends nothing more and reports to
// nobody, and the caller need not wait for it.
bool FinishSystemRequest(SystemRequest* request);
