// patchbuild: builds the installer's patch from translated archives and checks game folders
// against it. See Cli.h for the command line.
#include "tools/patchbuild/Cli.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

// Windows hands the arguments over in UTF-16 (a folder named in Chinese survives whatever
// the console's code page); the tool works in UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(bytes > 0 ? size_t(bytes) : 1, '\0');
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &arg[0], bytes, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : args) pointers.push_back(arg.c_str());
    return PatchBuildMain(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return PatchBuildMain(argc, argv); }
#endif
