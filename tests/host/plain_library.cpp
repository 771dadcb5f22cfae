// A shared library built without the framework's headers, so without a module record.
#if defined(_WIN32)
extern "C" __declspec(dllexport) int Answer() { return 42; }
#else
extern "C" __attribute__((visibility("default"))) int Answer() { return 42; }
#endif
