// Archive names (backslash-separated, relative to the game folder, as the manifest holds
// them) and where they lie on the build machine's disk.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

// The disk path of a name below a folder. Each component is matched exactly or, failing
// that, ignoring ASCII case, as the game's own platform would find it. False when the file
// does not exist (*path is then the exact-case path).
bool ResolveArchivePath(const std::filesystem::path& root, const std::string& name, std::filesystem::path* path);

// Names of the ".arc" files (any case) below a folder, sorted. Other files are listed in
// *ignored.
bool ListArchives(const std::filesystem::path& root, std::vector<std::string>* names,
                  std::vector<std::string>* ignored, std::string* error);

// Whether the installer can carry the name: plain ASCII (as the game's names are) and
// accepted by the manifest reader (relative, no "..", not ending in "tmp", not too long).
bool ManifestCanCarry(const std::string& name);
