#include "platform/ui/Application.h"

#include "platform/text/Cp932.h"

namespace ui {

std::string ErrorBoxText(const std::string& message) {
    if (message.empty()) return message;
    if (text::EndsWithDoubleByte(message)) return message + ".";
    unsigned char last = static_cast<unsigned char>(message.back());
    return last > '.' ? message + "." : message;
}

void Application::ShowError(const std::string& message) {
    system_.ShowBox(sys::BoxKind::Error, title, ErrorBoxText(message));
}

}  // namespace ui
