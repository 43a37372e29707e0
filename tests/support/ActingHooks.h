#pragma once
// Records everything and can act after a number of event rounds: a long run
// lets events run after every record, so a test can stop it, or break the
// server, at a chosen point.
#include "core/UiHooks.h"

#include <functional>

namespace mv::test {

class ActingHooks : public RecordingUiHooks {
public:
    void ProcessEvents() override
    {
        ++calls;
        if (act && calls == actAt)
            act();
        RecordingUiHooks::ProcessEvents();
    }
    int calls = 0;
    int actAt = -1;
    std::function<void()> act;
};

} // namespace mv::test
