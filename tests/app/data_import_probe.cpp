// Reads a library's data without dllimport, past its start: the linker can import that
// only with a run-time pseudo-relocation, which a program without the C run-time never
// applies. Linked like the product, this must fail the link.
extern int gProbeValues[2];

extern "C" int ProbeEntry() {
  return gProbeValues[1];
}
