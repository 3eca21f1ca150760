// A DLL of no use, found beside the test program.
extern "C" __declspec(dllexport) int QhPlanted() { return 0; }
