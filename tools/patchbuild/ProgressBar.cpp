#include "tools/patchbuild/ProgressBar.h"

#include <algorithm>

#include "tools/patchbuild/ConsoleText.h"
#include "tools/patchbuild/FileCalls.h"

namespace {
constexpr int kWidth = 30;

int Percent(uint64_t done, uint64_t total) {
    if (total == 0) return 100;
    return static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
}

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}
} // namespace

ProgressBar::ProgressBar(std::FILE* out, std::string label, uint64_t total)
    : m_out(out), m_label(std::move(label)), m_total(total) {
    Draw();
}

ProgressBar::~ProgressBar() { Finish(); }

std::string ProgressBar::Render(const std::string& label, uint64_t done, uint64_t total) {
    int percent = Percent(done, total);
    int filled = percent * kWidth / 100;
    std::string line = label + " [" + std::string(size_t(filled), '#') + std::string(size_t(kWidth - filled), '.') + "] ";
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    return line + number + "  " + Megabytes(std::min(done, total)) + " of " + Megabytes(total);
}

void ProgressBar::Draw() {
    if (!m_out) return;
    int percent = Percent(m_done, m_total);
    if (percent == m_shown) return;
    m_shown = percent;
    WriteText(m_out, "\r" + Render(m_label, m_done, m_total));
}

void ProgressBar::Advance(uint64_t amount) {
    m_done += amount;
    Draw();
}

void ProgressBar::Finish() {
    if (m_finished) return;
    m_finished = true;
    m_done = std::max(m_done, m_total);
    Draw();
    if (m_out) WriteText(m_out, "\n");
}

std::FILE* ProgressStream(bool quiet) {
    return !quiet && IsTerminal(stderr) ? stderr : nullptr;
}
