// peres: lists a built Windows program's resources, or writes one of them to stdout.
//   peres FILE                 machine, imported DLLs, then type id language size per resource
//   peres FILE TYPE ID         the resource's bytes
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "PeResources.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: peres FILE [TYPE ID]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PeImage image;
    std::string error;
    if (!in.good() && !in.eof()) error = "cannot read";
    if (!ReadPeImage(bytes, &image, &error)) {
        std::fprintf(stderr, "peres: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (argc == 2) {
        std::printf("machine 0x%X %s\n", image.machine, image.gui ? "gui" : "console");
        for (const std::string& dll : image.imports)
            std::printf("import %s%s\n", dll.c_str(), IsSystemDll(dll) ? "" : " (not a system DLL)");
        for (const PeResource& r : image.resources)
            std::printf("%u %u %u %zu\n", r.type, r.id, r.language, r.data.size());
        return 0;
    }
    const PeResource* r = FindPeResource(image, std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0));
    if (!r) {
        std::fprintf(stderr, "peres: no resource %s/%s\n", argv[2], argv[3]);
        return 1;
    }
    std::fwrite(r->data.data(), 1, r->data.size(), stdout);
    return 0;
}
