// io_floor: the I/O floor of the patcher's design on the same files. For every archive it
// does what the rewrite must do at the least: copy the archive to a temporary file beside
// it, copy that back over the archive, delete the temporary file.
//
//   io_floor --game DIR --list archives.txt [--sync] [--method cp|rw|spawn] [--buffer-kib N]
//
// --method cp    (default) what `cp` does: open, POSIX_FADV_SEQUENTIAL, copy_file_range
//                until the end (the kernel copies the pages; ext4 has no reflink)
// --method rw    read/write through a buffer in user space (1 MiB, or --buffer-kib N)
// --method spawn runs /bin/cp twice per archive (adds two process starts per archive)
// --sync         fsync each copy before going on, at the same points where the patcher
//                flushes: the temporary copy before the archive is overwritten, and the
//                archive before the temporary file is deleted
//
// archives.txt is gamegen's list: one "name original expected records" line per archive,
// names with backslashes. Prints "RESULT seconds=... archives=... bytes=...".
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

enum class Method { Cp, ReadWrite, Spawn };

bool CopyWithKernel(int from, int to) {
    posix_fadvise(from, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
        ssize_t n = copy_file_range(from, nullptr, to, nullptr, size_t(1) << 30, 0);
        if (n < 0) return false;
        if (n == 0) return true;
    }
}

size_t g_bufferSize = size_t(1) << 20;

bool CopyWithBuffer(int from, int to) {
    static std::vector<char> buffer(g_bufferSize);
    for (;;) {
        ssize_t got = read(from, buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(to, buffer.data() + done, size_t(got - done));
            if (put <= 0) return false;
            done += put;
        }
    }
}

bool SpawnCp(const std::string& from, const std::string& to) {
    const char* args[] = {"cp", from.c_str(), to.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/cp", nullptr, nullptr, const_cast<char**>(args), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SyncFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

using Clock = std::chrono::steady_clock;
double g_copySeconds = 0, g_syncSeconds = 0;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

bool CopyFile(const std::string& from, const std::string& to, Method method, bool sync) {
    auto t0 = Clock::now();
    if (method == Method::Spawn) {
        bool copied = SpawnCp(from, to);
        g_copySeconds += Since(t0);
        auto t1 = Clock::now();
        bool synced = !sync || SyncFile(to);
        g_syncSeconds += Since(t1);
        return copied && synced;
    }
    int in = open(from.c_str(), O_RDONLY);
    if (in < 0) return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = method == Method::Cp ? CopyWithKernel(in, out) : CopyWithBuffer(in, out);
    g_copySeconds += Since(t0);
    auto t1 = Clock::now();
    if (ok && sync) ok = fsync(out) == 0;
    ok = close(out) == 0 && ok;
    close(in);
    g_syncSeconds += Since(t1);
    return ok;
}

int Usage() {
    std::fprintf(stderr, "usage: io_floor --game DIR --list archives.txt [--sync] [--method cp|rw|spawn]"
                         " [--buffer-kib N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string game, list;
    bool sync = false;
    Method method = Method::Cp;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--game" && value) game = argv[++i];
        else if (arg == "--list" && value) list = argv[++i];
        else if (arg == "--sync") sync = true;
        else if (arg == "--buffer-kib" && value) g_bufferSize = size_t(std::strtoul(argv[++i], nullptr, 10)) << 10;
        else if (arg == "--method" && value) {
            std::string m = argv[++i];
            if (m == "cp") method = Method::Cp;
            else if (m == "rw") method = Method::ReadWrite;
            else if (m == "spawn") method = Method::Spawn;
            else return Usage();
        } else {
            return Usage();
        }
    }
    if (game.empty() || list.empty()) return Usage();

    std::vector<std::string> archives;
    std::ifstream in(list);
    std::string name;
    unsigned long long original = 0, expected = 0, records = 0;
    while (in >> name >> original >> expected >> records) {
        for (char& c : name)
            if (c == '\\') c = '/';
        archives.push_back(game + "/" + name);
    }
    if (archives.empty()) {
        std::fprintf(stderr, "io_floor: no archives in %s\n", list.c_str());
        return 1;
    }

    unsigned long long bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (const std::string& path : archives) {
        // The patcher's temporary name: the last three characters replaced by "tmp".
        std::string temp = path.substr(0, path.size() - 3) + "tmp";
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !CopyFile(path, temp, method, sync) ||
            !CopyFile(temp, path, method, sync) || unlink(temp.c_str()) != 0) {
            std::fprintf(stderr, "io_floor: copying %s failed: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        bytes += static_cast<unsigned long long>(st.st_size);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("RESULT seconds=%.4f archives=%zu bytes=%llu t_copy=%.4f t_sync_close=%.4f cpu_user=%.4f cpu_kernel=%.4f\n",
                seconds, archives.size(), bytes, g_copySeconds, g_syncSeconds,
                usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6, usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
    return 0;
}
