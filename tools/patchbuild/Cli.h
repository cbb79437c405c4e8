// The patchbuild command line:
//
//   patchbuild build --original DIR --translated DIR --out DIR [--first NAME]
//                    [--installer FILE [--template SETUP.EXE]] [--quiet]
//   patchbuild installer --patch DIR --out FILE [--template SETUP.EXE] [--quiet]
//   patchbuild verify --game DIR --patch DIR [--expect original|patched] [--quiet]
//   patchbuild fingerprint --game DIR --patch DIR [--quiet]
//   patchbuild COMMAND --help
//
// Exit status: 0 success (and --help); 1 refused (build, installer, fingerprint) or an
// archive not in the expected state (verify); 2 wrong usage or unreadable patch files.
// Every argument and message is UTF-8 (main.cpp converts Windows' UTF-16 arguments).
#pragma once

int PatchBuildMain(int argc, const char* const* argv);
