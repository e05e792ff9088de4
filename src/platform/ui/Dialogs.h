// The open-file dialog as a form component: its settings, and Execute through the system.
#pragma once

#include <string>

#include "platform/system/System.h"

namespace ui {

class OpenDialog {
public:
    OpenDialog(std::string name, std::string filterText)
        : filter(std::move(filterText)), name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    std::string filter;  // "desc|pattern|..."
    std::string fileName;
    // Shows the dialog modally; true when the player confirmed (fileName is then set).
    bool Execute(sys::System& system) {
        sys::OpenFileRequest request;
        request.filter = filter;
        std::string chosen;
        if (!system.OpenFileDialog(request, chosen)) return false;
        fileName = chosen;
        return true;
    }

private:
    std::string name_;
};

}  // namespace ui
