#include "platform/ui/Application.h"

#include <new>

#include "platform/Error.h"
#include "platform/text/Cp932.h"

namespace ui {

std::string ErrorBoxText(const std::string& message) {
    if (message.empty()) return message;
    if (text::EndsWithDoubleByte(message)) return message + ".";
    unsigned char last = static_cast<unsigned char>(message.back());
    return last > '.' ? message + "." : message;
}

std::string ErrorText(const std::exception& e) {
    if (dynamic_cast<const platform::Error*>(&e)) return e.what();
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        return "メモリが足りないため、この操作を最後まで行えませんでした";
    }
    return UnexpectedErrorText();
}

std::string UnexpectedErrorText() {
    return "予期しないエラーが起きたため、この操作を途中で止めました";
}

void Application::Post(std::function<void()> work) {
    if (!poster) {
        Dispatch(work);
        return;
    }
    posted_.push_back(std::move(work));
    if (posted_.size() == 1) poster();
}

void Application::RunPosted() {
    std::vector<std::function<void()>> work;
    work.swap(posted_);
    for (auto& w : work) Dispatch(w);
}

void Application::ShowError(const std::string& message) {
    system_.ShowBox(sys::BoxKind::Error, title, ErrorBoxText(message));
}

}  // namespace ui
