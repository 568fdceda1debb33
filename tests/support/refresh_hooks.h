#pragma once
// A run's observer made of functions, for tests that follow a run with lambdas; a call without a
// function does nothing (stopRequested: false).
#include <functional>
#include <vector>

#include "checks/refresh_observer.h"

namespace korvex::test {

struct RefreshHooks : RefreshObserver {
    std::function<void(int row)> onStarting;
    std::function<void(int routineIndex)> onRoutine;
    std::function<void(const std::vector<int>& rows)> onInFlight;
    std::function<void(const RowCheck& check)> onFinished;
    std::function<bool()> onStop;

    void rowStarting(int row) override {
        if (onStarting) onStarting(row);
    }
    void afterRoutine(int routine) override {
        if (onRoutine) onRoutine(routine);
    }
    void rowsInFlight(const std::vector<int>& rows) override {
        if (onInFlight) onInFlight(rows);
    }
    void rowFinished(const RowCheck& check) override {
        if (onFinished) onFinished(check);
    }
    bool stopRequested() override { return onStop && onStop(); }
};

}  // namespace korvex::test
