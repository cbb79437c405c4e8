#include "tools/patchbuild/Cli.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "tools/patchbuild/ConsoleText.h"
#include "tools/patchbuild/InstallerOutput.h"
#include "tools/patchbuild/PatchBuild.h"
#include "tools/patchbuild/PatchVerify.h"
#include "tools/patchbuild/ProgressBar.h"

namespace fs = std::filesystem;

namespace {

const char kBuildUsage[] =
    "  patchbuild build --original DIR --translated DIR --out DIR [--first NAME]\n"
    "                   [--installer FILE [--template SETUP.EXE]] [--quiet]\n"
    "      compares every .arc file below --translated with the file of the same relative\n"
    "      path below --original and writes manifest.bin, payload.bin, fingerprints.bin and\n"
    "      progress_total.bin into --out, all four or none; with --installer, then also the\n"
    "      finished installer FILE (as patchbuild installer writes it)\n"
    "      exit status: 0 written; 1 refused, --out left as it was (or, when only the\n"
    "      installer failed, written and FILE left as it was); 2 wrong usage\n";
const char kInstallerUsage[] =
    "  patchbuild installer --patch DIR --out FILE [--template SETUP.EXE] [--quiet]\n"
    "      writes FILE: a copy of the template (default: setup.exe beside patchbuild.exe)\n"
    "      carrying the four files of the patch folder and their digest; written beside FILE,\n"
    "      read back and checked, then renamed into place (Windows only; on Linux embed the\n"
    "      folder with scripts/build.sh --patch DIR --shipped-only)\n"
    "      exit status: 0 written; 1 refused (template, patch folder or writing), FILE left\n"
    "      as it was; 2 wrong usage\n";
const char kVerifyUsage[] =
    "  patchbuild verify --game DIR --patch DIR [--expect original|patched] [--quiet]\n"
    "      reports for each archive of the patch whether the game folder holds it original,\n"
    "      patched or neither; changes nothing\n"
    "      exit status: 0 no archive is neither or missing (with --expect: every archive is\n"
    "      in that state); 1 otherwise; 2 wrong usage or unreadable patch files\n";
const char kFingerprintUsage[] =
    "  patchbuild fingerprint --game DIR --patch DIR [--quiet]\n"
    "      writes DIR/fingerprints.bin and DIR/progress_total.bin for an existing manifest\n"
    "      from the original game folder\n"
    "      exit status: 0 written; 1 refused, nothing written; 2 wrong usage or unreadable\n"
    "      patch files\n";

std::string Usage() {
    return std::string("usage:\n") + kBuildUsage + kInstallerUsage + kVerifyUsage + kFingerprintUsage +
           "  patchbuild COMMAND --help   shows one command's usage\n";
}

int Usage(const std::string& why, const char* command = nullptr) {
    if (!why.empty()) PrintText(stderr, "patchbuild: %s\n", why.c_str());
    WriteText(stderr, command ? std::string("usage:\n") + command : Usage());
    return 2;
}

// "--name value" pairs and the flag --quiet; every option is known to its command.
// --help anywhere asks for the command's usage instead.
bool ParseOptions(int argc, const char* const* argv, const std::map<std::string, bool>& known,
                  std::map<std::string, std::string>* values, bool* quiet, std::string* error) {
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error->clear();
            return false;
        }
        if (arg == "--quiet") {
            *quiet = true;
            continue;
        }
        auto it = known.find(arg);
        if (it == known.end()) {
            *error = "unknown option " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        (*values)[arg] = argv[++i];
    }
    for (const auto& [name, required] : known) {
        if (required && !values->count(name)) {
            *error = name + " is required";
            return false;
        }
    }
    return true;
}

int Help(const char* command) {
    WriteText(stdout, std::string("usage:\n") + command);
    return 0;
}

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Backslashed(std::string name) {
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

// The template --template names, or the one beside the tool.
fs::path TemplateOption(std::map<std::string, std::string>& v) {
    return v.count("--template") ? fs::u8path(v["--template"]) : DefaultInstallerTemplate();
}

int Refused(const std::string& error) {
    PrintText(stderr, "patchbuild: error: %s\n", error.c_str());
    PrintText(stderr, "patchbuild: nothing written\n");
    return 1;
}

void PrintInstallerWritten(const fs::path& target) {
    PrintText(stdout, "patchbuild: wrote the installer %s (its resources read back, its digest recomputed)\n",
              target.u8string().c_str());
}

int RunBuild(int argc, const char* const* argv) {
    std::map<std::string, std::string> v;
    bool quiet = false;
    std::string error;
    if (!ParseOptions(argc, argv,
                      {{"--original", true}, {"--translated", true}, {"--out", true}, {"--first", false},
                       {"--installer", false}, {"--template", false}},
                      &v, &quiet, &error))
        return error.empty() ? Help(kBuildUsage) : Usage(error, kBuildUsage);
    if (v.count("--template") && !v.count("--installer")) return Usage("--template needs --installer", kBuildUsage);
    // A template that cannot serve is refused before the long comparison.
    fs::path templatePath = TemplateOption(v);
    if (v.count("--installer") && (!CheckTemplate(templatePath, &error) ||
                                   !CheckInstallerTarget(fs::u8path(v["--installer"]), &error)))
        return Refused(error);
    BuildOptions options;
    options.original = fs::u8path(v["--original"]);
    options.translated = fs::u8path(v["--translated"]);
    options.out = fs::u8path(v["--out"]);
    options.first = v.count("--first") ? Backslashed(v["--first"]) : "";
    options.progress = ProgressStream(quiet);
    BuildReport report;
    bool ok = BuildPatch(options, &report);
    if (!quiet)
        for (const std::string& note : report.notes) PrintText(stderr, "patchbuild: note: %s\n", note.c_str());
    if (!ok) {
        for (const std::string& p : report.problems) PrintText(stderr, "patchbuild: error: %s\n", p.c_str());
        PrintText(stderr, "patchbuild: nothing written\n");
        return 1;
    }
    if (!quiet) {
        PrintText(stdout, "patchbuild: %zu archives, %zu records (%zu with size-word bit 30), payload %s bytes, "
                    "manifest %s bytes\n",
                    report.archives, report.records, report.bit30Records, Grouped(report.payloadBytes).c_str(),
                    Grouped(report.manifestBytes).c_str());
        PrintText(stdout, "patchbuild: progress total: %s units of 256 bytes (the patched archives' sizes; the "
                    "installer's bar reaches 100 on it)\n",
                    Grouped(report.progressUnits).c_str());
        PrintText(stdout, "patchbuild: wrote manifest.bin, payload.bin, fingerprints.bin and progress_total.bin to %s\n",
                  options.out.u8string().c_str());
    }
    if (v.count("--installer")) {
        fs::path target = fs::u8path(v["--installer"]);
        if (!WriteInstallerFile(templatePath, options.out, target, &error)) {
            PrintText(stderr, "patchbuild: error: %s\n", error.c_str());
            PrintText(stderr, "patchbuild: the patch files are in %s; no installer written\n",
                      options.out.u8string().c_str());
            return 1;
        }
        if (!quiet) PrintInstallerWritten(target);
    }
    return 0;
}

int RunInstaller(int argc, const char* const* argv) {
    std::map<std::string, std::string> v;
    bool quiet = false;
    std::string error;
    if (!ParseOptions(argc, argv, {{"--patch", true}, {"--out", true}, {"--template", false}}, &v, &quiet, &error))
        return error.empty() ? Help(kInstallerUsage) : Usage(error, kInstallerUsage);
    fs::path templatePath = TemplateOption(v);
    fs::path target = fs::u8path(v["--out"]);
    if (!CheckTemplate(templatePath, &error) || !CheckInstallerTarget(target, &error)) return Refused(error);
    if (!WriteInstallerFile(templatePath, fs::u8path(v["--patch"]), target, &error)) return Refused(error);
    if (!quiet) PrintInstallerWritten(target);
    return 0;
}

int RunVerify(int argc, const char* const* argv) {
    std::map<std::string, std::string> v;
    bool quiet = false;
    std::string error;
    if (!ParseOptions(argc, argv, {{"--game", true}, {"--patch", true}, {"--expect", false}}, &v, &quiet, &error))
        return error.empty() ? Help(kVerifyUsage) : Usage(error, kVerifyUsage);
    std::string expect = v.count("--expect") ? v["--expect"] : "";
    if (!expect.empty() && expect != "original" && expect != "patched")
        return Usage("--expect takes original or patched", kVerifyUsage);
    VerifyOptions options{fs::u8path(v["--game"]), fs::u8path(v["--patch"]), ProgressStream(quiet)};
    VerifyReport report;
    if (!VerifyGameFolder(options, &report)) {
        PrintText(stderr, "patchbuild: error: %s\n", report.error.c_str());
        return 2;
    }
    std::map<VerifyState, size_t> counts;
    size_t leftovers = 0;
    for (const VerifyLine& line : report.lines) {
        ++counts[line.verdict.state];
        leftovers += line.leftoverTemp;
        bool plain = line.verdict.state == VerifyState::Original || line.verdict.state == VerifyState::Patched ||
                     line.verdict.state == VerifyState::Unpatched;
        if (quiet && plain && !line.leftoverTemp) continue;
        PrintText(stdout, "%-12s %s%s%s%s\n", VerifyStateName(line.verdict.state), line.name.c_str(),
                    line.verdict.detail.empty() ? "" : ": ", line.verdict.detail.c_str(),
                    line.leftoverTemp ? " (a temporary file of an interrupted rewrite lies beside it)" : "");
    }
    PrintText(stdout, "patchbuild verify: %zu archives: %zu original, %zu patched, %zu not patched, %zu neither, "
                "%zu missing%s\n",
                report.lines.size(), counts[VerifyState::Original], counts[VerifyState::Patched],
                counts[VerifyState::Unpatched], counts[VerifyState::Neither], counts[VerifyState::Missing],
                report.haveFingerprints ? "" : " (no fingerprints.bin: originals cannot be confirmed)");
    if (leftovers) PrintText(stdout, "patchbuild verify: %zu temporary files of interrupted rewrites\n", leftovers);
    size_t bad = counts[VerifyState::Neither] + counts[VerifyState::Missing];
    if (expect == "original") bad = report.lines.size() - counts[VerifyState::Original];
    if (expect == "patched") bad = report.lines.size() - counts[VerifyState::Patched];
    return bad ? 1 : 0;
}

int RunFingerprint(int argc, const char* const* argv) {
    std::map<std::string, std::string> v;
    bool quiet = false;
    std::string error;
    if (!ParseOptions(argc, argv, {{"--game", true}, {"--patch", true}}, &v, &quiet, &error))
        return error.empty() ? Help(kFingerprintUsage) : Usage(error, kFingerprintUsage);
    VerifyOptions options{fs::u8path(v["--game"]), fs::u8path(v["--patch"]), ProgressStream(quiet)};
    std::vector<std::string> problems;
    size_t archives = 0;
    uint32_t units = 0;
    if (!WriteFingerprintsForPatch(options, &problems, &archives, &units)) {
        for (const std::string& p : problems) PrintText(stderr, "patchbuild: error: %s\n", p.c_str());
        PrintText(stderr, "patchbuild: nothing written\n");
        return 1;
    }
    if (!quiet)
        PrintText(stdout, "patchbuild: wrote fingerprints of %zu archives and the progress total (%s units)\n", archives,
                    Grouped(units).c_str());
    return 0;
}

} // namespace

int PatchBuildMain(int argc, const char* const* argv) {
    if (argc < 2) return Usage("");
    std::string command = argv[1];
    if (command == "build") return RunBuild(argc, argv);
    if (command == "installer") return RunInstaller(argc, argv);
    if (command == "verify") return RunVerify(argc, argv);
    if (command == "fingerprint") return RunFingerprint(argc, argv);
    if (command == "--help" || command == "-h" || command == "help") {
        WriteText(stdout, Usage());
        return 0;
    }
    return Usage("unknown command " + command);
}
