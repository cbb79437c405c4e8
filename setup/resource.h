// Resource identifiers of the installer (shared by the resource script and the code).
// The patch's parts are embedded under the ids of core/PatchParts.h (the build reads that
// table); the IDR_ names below are those ids for the resource script and the tests.
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

#ifndef RC_INVOKED
#include "core/PatchParts.h"
static_assert(IDR_MANIFEST == kPatchParts[kPartManifest].resourceId, "IDR_MANIFEST differs from core/PatchParts.h");
static_assert(IDR_PAYLOAD == kPatchParts[kPartPayload].resourceId, "IDR_PAYLOAD differs from core/PatchParts.h");
static_assert(IDR_FINGERPRINTS == kPatchParts[kPartFingerprints].resourceId,
              "IDR_FINGERPRINTS differs from core/PatchParts.h");
static_assert(IDR_PROGRESS_TOTAL == kPatchParts[kPartProgressTotal].resourceId,
              "IDR_PROGRESS_TOTAL differs from core/PatchParts.h");
static_assert(IDR_PATCH_DIGEST == kPatchDigestResourceId, "IDR_PATCH_DIGEST differs from core/PatchParts.h");
#endif
