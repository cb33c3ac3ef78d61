// A DLL built like the module, with the same statically linked C++ runtime and nothing else: what
// loading and unloading any such DLL costs the process, measured beside the module. (The runtime
// allocates its emergency exception pool when it starts and never frees it.)
#include <string>

extern "C" __declspec(dllexport) int ReferenceTextLength(const char* text) {
    return text != nullptr ? static_cast<int>(std::string(text).size()) : 0;
}
