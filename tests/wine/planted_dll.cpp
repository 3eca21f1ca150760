extern "C" __declspec(dllexport) int QhPlanted() { return 0; }
