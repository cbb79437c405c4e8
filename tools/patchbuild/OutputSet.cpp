#include "tools/patchbuild/OutputSet.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "tools/patchbuild/FileCalls.h"

namespace fs = std::filesystem;

RenameFunction g_outputRename = RenameFile;

namespace {

std::string Describe(const fs::path& path, const char* what, int error) {
    return path.u8string() + ": " + what + " (" + std::strerror(error) + ")";
}

fs::path WithSuffix(const fs::path& path, const char* suffix) {
    fs::path p = path;
    p += suffix;
    return p;
}

} // namespace

OutputFile::~OutputFile() {
    if (m_file) std::fclose(m_file);
}

bool OutputFile::Write(const unsigned char* data, size_t count) {
    if (!m_file || !m_ok) return false;
    if (count && std::fwrite(data, 1, count, m_file) != count) {
        m_ok = false;
        m_error = errno ? errno : EIO;
    }
    m_written += count;
    return m_ok;
}

OutputSet::~OutputSet() { Discard(); }

void OutputSet::Discard() {
    for (auto& f : m_files) {
        if (f->m_file) std::fclose(f->m_file);
        f->m_file = nullptr;
        std::error_code ec;
        fs::remove(f->m_temp, ec);
    }
    m_files.clear();
}

OutputFile* OutputSet::Add(const std::string& name, std::string* error) {
    auto file = std::make_unique<OutputFile>();
    file->m_path = m_folder / name;
    file->m_temp = WithSuffix(file->m_path, ".part");
    file->m_file = OpenFile(file->m_temp, "wb");
    if (!file->m_file) {
        *error = Describe(file->m_path, "cannot create", errno);
        return nullptr;
    }
    file->m_ok = true;
    m_files.push_back(std::move(file));
    return m_files.back().get();
}

bool OutputSet::AddBytes(const std::string& name, const std::vector<unsigned char>& bytes, std::string* error) {
    OutputFile* file = Add(name, error);
    if (!file) return false;
    file->Write(bytes.data(), bytes.size()); // a failed write fails the commit
    return true;
}

bool OutputSet::CloseAll(std::string* error) {
    for (auto& f : m_files) {
        int failure = f->m_ok ? 0 : f->m_error;
        if (!failure && std::fflush(f->m_file) != 0) failure = errno;
        if (!failure && !SyncFile(f->m_file)) failure = errno;
        if (std::fclose(f->m_file) != 0 && !failure) failure = errno;
        f->m_file = nullptr;
        if (failure) {
            *error = Describe(f->m_path, "cannot write", failure);
            return false;
        }
    }
    return true;
}

bool OutputSet::Commit(std::string* error) {
    if (!CloseAll(error)) {
        Discard();
        return false;
    }
    // Every file is complete on the disk. Move the previous set aside and the new one in;
    // on a failure, undo in reverse order.
    struct Step {
        fs::path target, previous;
        bool hadPrevious = false, placed = false;
    };
    std::vector<Step> steps;
    int failure = 0;
    fs::path failed;
    for (auto& f : m_files) {
        Step step{f->m_path, WithSuffix(f->m_path, ".previous")};
        std::error_code ec;
        if (fs::exists(fs::symlink_status(step.target, ec))) {
            if (g_outputRename(step.target, step.previous) != 0) {
                failure = errno;
                failed = step.target;
                break;
            }
            step.hadPrevious = true;
        }
        steps.push_back(step);
        if (g_outputRename(f->m_temp, step.target) != 0) {
            failure = errno;
            failed = step.target;
            break;
        }
        steps.back().placed = true;
    }
    if (failure) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            std::error_code ec;
            if (it->placed) fs::remove(it->target, ec);
            if (it->hadPrevious) RenameFile(it->previous, it->target);
        }
        *error = Describe(failed, "cannot put in place", failure ? failure : EIO);
        Discard();
        SyncFolder(m_folder);
        return false;
    }
    for (const Step& step : steps) {
        std::error_code ec;
        if (step.hadPrevious) fs::remove(step.previous, ec);
    }
    m_files.clear();
    SyncFolder(m_folder);
    return true;
}

bool CheckOutputFolder(const fs::path& folder, const std::vector<std::string>& names, std::string* error) {
    std::error_code ec;
    fs::file_status status = fs::status(folder, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        *error = folder.u8string() + ": --out names a file, not a folder";
        return false;
    }
    if (!fs::exists(status) && !fs::create_directories(folder, ec)) {
        *error = folder.u8string() + ": cannot create the folder (" + ec.message() + ")";
        return false;
    }
    for (const std::string& name : names) {
        fs::file_status s = fs::symlink_status(folder / name, ec);
        if (fs::exists(s) && !fs::is_regular_file(s)) {
            *error = (folder / name).u8string() + ": is in the way (not a regular file)";
            return false;
        }
    }
    if (!CanWriteInto(folder)) {
        *error = Describe(folder, "cannot write into the folder", errno);
        return false;
    }
    return true;
}
