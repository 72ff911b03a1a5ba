// A library that exports data, for data_import_probe.cpp.
__declspec(dllexport) int gProbeValues[2] = {1, 2};
