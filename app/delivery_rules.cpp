// The reply rule and the wait arithmetic of report delivery.
#include "app/delivery_rules.h"

bool ReplyAccepted(const StringList* headerLines) {
  if (!headerLines || headerLines->Count == 0) return false;
  return headerLines->LineAt(headerLines->Count - 1) == "OK";
}

uint32_t WaitTimeLeft(uint32_t start, uint32_t now, uint32_t limit) {
  uint32_t elapsed = now - start;
  return elapsed < limit ? limit - elapsed : 0;
}
