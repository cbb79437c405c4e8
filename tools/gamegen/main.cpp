// gamegen: writes a synthetic game folder, the matching patch and the expected result of
// patching it. See GameGen.h for the command line.
#include "tools/gamegen/GameGen.h"

int main(int argc, char** argv) { return GameGenMain(argc, argv); }
