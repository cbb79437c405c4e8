// Placeholder until the generator lands.
#include <cstdio>
#include <filesystem>
#include <fstream>
int main(int argc, char** argv) {
    std::filesystem::path out = argv[2];
    std::filesystem::create_directories(out / "patch");
    std::ofstream(out / "patch" / "manifest.bin", std::ios::binary).write("\0\0\0\0", 4);
    std::ofstream(out / "patch" / "payload.bin", std::ios::binary).write("x", 1);
    return 0;
}
