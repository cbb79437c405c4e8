// Resource identifiers of the installer (shared by the resource script and the code).
#pragma once

#define IDD_NOTICE 143
#define IDD_PROGRESS 144
#define IDD_FOLDER 145
#define IDR_PAYLOAD 159
#define IDR_MANIFEST 164
#define IDB_BANNER 165
#define IDR_LANGSET 169
#define IDR_FINGERPRINTS 170 // optional: the archives' fingerprints (core/Fingerprints.h)
#define IDR_PROGRESS_TOTAL 171 // optional: the patch's progress total (core/ProgressTotal.h)
#define IDR_PATCH_DIGEST 172 // the embedded patch's SHA-256 digest (core/PatchDigest.h)
#define IDI_APP 107
#define IDI_SMALL 108

#define IDC_PROGRESS 1001
#define IDC_TARGET_DIR 1002
#define IDC_CURRENT_FILE 1005

// The banner's place in the game-folder dialog, in dialog units (the picture is fitted to it).
#define BANNER_X 1
#define BANNER_Y 1
#define BANNER_W 366
#define BANNER_H 194
