// A DLL that a test plants next to a program: whether it loads shows where the program searches.
#include <windows.h>

extern "C" __declspec(dllexport) int msiboot_planted() { return 42; }
