#pragma once
// The window's figures of trimora_bench (window_bench.cpp).

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct BenchFigure {
    std::string Name;
    double Ours = 0, Raw = 0; // seconds (Raw 0: no bare-tool counterpart)
    std::string Goal;
    bool Met = false;
};

struct WindowBenchInputs {
    int Runs = 5;
    std::string ClipFolder, ClipA, ClipB, BigClip, OutFolder;
    std::vector<std::pair<std::string, double>> Listings; // folder, bare read seconds
    std::function<void()> RemoveOutputs;
    std::function<double()> BareCopy; // seconds of the bare tool's copy of the same range
};

double BenchMedian(std::vector<double> v);

std::vector<BenchFigure> RunWindowFigures(const WindowBenchInputs& in);
