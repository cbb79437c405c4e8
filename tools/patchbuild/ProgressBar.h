// A one-line text progress bar on a terminal, redrawn only when its percentage changes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressBar {
public:
    // Draws nothing when `out` is null (quiet runs, output that is not a terminal).
    ProgressBar(std::FILE* out, std::string label, uint64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Advance(uint64_t amount);
    // Draws 100% and ends the line (once).
    void Finish();

    // The line for a given state, without the leading carriage return (for the tests).
    static std::string Render(const std::string& label, uint64_t done, uint64_t total);

private:
    void Draw();
    std::FILE* m_out;
    std::string m_label;
    uint64_t m_total, m_done = 0;
    int m_shown = -1;
    bool m_finished = false;
};

// The standard error stream when it is a terminal and the run is not quiet, else null.
std::FILE* ProgressStream(bool quiet);
