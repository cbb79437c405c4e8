// The files of one patch, written so that they replace the previous set together or not at
// all: the installer embeds them as one, and a new payload beside an old manifest would make
// an installer that writes wrong bytes into the game.
//
// Each file is written under a temporary name beside its target ("NAME.part"). Commit first
// flushes every file to the disk, closes it and checks that all of this worked (a full disk
// often shows only when the buffered tail is written); only then are the files renamed into
// place, each previous file kept under "NAME.previous" until all are in place. A failure at
// any step removes the new files and puts the previous ones back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Write(const unsigned char* data, size_t count);
    uint64_t Written() const { return m_written; }

private:
    friend class OutputSet;
    std::FILE* m_file = nullptr;
    std::filesystem::path m_path, m_temp;
    uint64_t m_written = 0;
    bool m_ok = false;
    int m_error = 0; // errno of the first failed write
};

class OutputSet {
public:
    explicit OutputSet(std::filesystem::path folder) : m_folder(std::move(folder)) {}
    ~OutputSet(); // an uncommitted set leaves nothing behind
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Starts FOLDER/NAME.part; null (and *error says why) when it cannot be created.
    OutputFile* Add(const std::string& name, std::string* error);
    // Writes a whole small file.
    bool AddBytes(const std::string& name, const std::vector<unsigned char>& bytes, std::string* error);
    // Puts every file in place, or none (see above). *error names the file and the reason.
    bool Commit(std::string* error);

private:
    bool CloseAll(std::string* error);
    void Discard();
    std::filesystem::path m_folder;
    std::vector<std::unique_ptr<OutputFile>> m_files;
};

// Whether FOLDER can take a set with these file names: it is (or can be made) a folder that
// accepts new files, and no name in it is taken by anything but a regular file. Creates the
// folder when it is missing. *error says what is wrong.
bool CheckOutputFolder(const std::filesystem::path& folder, const std::vector<std::string>& names, std::string* error);

// Test seam: the rename used to put files in place (RenameFile by default).
using RenameFunction = int (*)(const std::filesystem::path& from, const std::filesystem::path& to);
extern RenameFunction g_outputRename;
