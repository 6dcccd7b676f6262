// A recovered base inside a program state, for the view tests: recovered on the test's own
// thread, selected, with helpers to pick folders by name.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/app_state.h"
#include "recovery/folder_tree.h"
#include "recovery/recovery_pass.h"
#include "support/app_fixtures.h"
#include "support/peer_tools.h"

namespace brevik::test {

struct RecoveredState {
    TempDir dir;
    MemorySettingsStore store;
    std::unique_ptr<app::AppState> state;
    RecoveredBase* base = nullptr;

    // Recovers `file` (a generated sample when empty) and selects it.
    explicit RecoveredState(std::string file = {}) {
        app::AppEnvironment env;
        env.settings = &store;
        env.localDataFolder = (dir.path() / "data").string();
        state = std::make_unique<app::AppState>(env);
        if (file.empty()) {
            file = (dir.path() / "sample.pst").string();
            writeSample(file, 60, 4, 3);
        }
        const auto slash = file.rfind('/');
        base = state->addBase(file.substr(0, slash), file.substr(slash + 1));
        openMessageBase(*base);
        base->openMode = base->resultOk ? 1 : 0;
        state->selectedBase = 0;
    }
    RecoveredBase& b() const { return *base; }

    // The index of the first folder whose name is `name`; fails the test when there is none.
    std::uint32_t folder(const std::string& name) const {
        for (std::uint32_t f = 0; f < base->folderCount; ++f)
            if (folderName(*base, f) == name) return f;
        ADD_FAILURE() << "no folder " << name;
        return 0;
    }
    void select(std::uint32_t folderIndex) {
        state->selectedBase = 0;
        state->selectedFolderId = folderIndex;
        state->viewOf(*base).currentFolderId = folderIndex;
    }
};

}  // namespace brevik::test
