// Prints the running Windows version's name, then the values it was decided from.
#include <stdio.h>

#include "app/windows_version.h"

int main() {
  ByteString name = WindowsVersionName();
  printf("%s\t%u %u.%u \"%s\" %08x\n", name.Data(), PlatformId, MajorVersion, MinorVersion,
         ServicePackText.Data(), KernelProductVersion);
  return 0;
}
