// The installer's fingerprint table (payload/Fingerprints.h), loaded from its raw-data
// resource beside the manifest. Without it (a build that carries none) no archive is
// checked and the run behaves as before.
#pragma once
#include <cstddef>
#include <cstdint>

// Parses the resource into g_fingerprints. 0 when the resource is missing, empty or not a
// well-formed table; g_fingerprints is then null.
int LoadFingerprints(int id);

// The same from bytes that stay valid while the table is in use (the resource loader and
// the tests).
int LoadFingerprintsFromBytes(const unsigned char* bytes, size_t size);

// Releases the table; g_fingerprints becomes null.
void FreeFingerprints();
