#pragma once

namespace brindmar {

// What a workflow knows of the window: it can be asked to show the model. The Qt window applies
// the model to its widgets; the command line draws a progress bar; tests count the requests.
class View {
public:
    virtual ~View() = default;
    virtual void render() = 0;
};

} // namespace brindmar
