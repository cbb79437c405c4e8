// patchbuild: builds the installer's patch from translated archives and checks game folders
// against it. See Cli.h for the command line.
#include "tools/patchbuild/Cli.h"

int main(int argc, char** argv) { return PatchBuildMain(argc, argv); }
