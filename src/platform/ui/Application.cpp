#include "platform/ui/Application.h"

#include <mutex>

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

struct Application::Mailbox {
    std::mutex lock;
    std::vector<std::function<void()>> posted;
    std::function<void()> poster;
    bool open = true;
};

Application::Application(sys::System& system)
    : system_(system), mailbox_(std::make_shared<Mailbox>()) {}

Application::~Application() {
    std::lock_guard<std::mutex> hold(mailbox_->lock);
    mailbox_->open = false;
    mailbox_->poster = nullptr;
    mailbox_->posted.clear();
}

void Application::SetPoster(std::function<void()> poster) {
    std::lock_guard<std::mutex> hold(mailbox_->lock);
    mailbox_->poster = std::move(poster);
}

void Application::Post(std::function<void()> work) {
    std::unique_lock<std::mutex> hold(mailbox_->lock);
    if (!mailbox_->poster) {
        hold.unlock();
        Dispatch(work);
        return;
    }
    mailbox_->posted.push_back(std::move(work));
    if (mailbox_->posted.size() == 1) mailbox_->poster();
}

void Application::RunPosted() {
    if (running_ > 0) {
        postedWaiting_ = true;
        return;
    }
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> hold(mailbox_->lock);
        work.swap(mailbox_->posted);
    }
    for (auto& w : work) Dispatch(w);
}

void Application::HandlerEnded() {
    if (--running_ > 0 || !postedWaiting_) return;
    postedWaiting_ = false;
    std::lock_guard<std::mutex> hold(mailbox_->lock);
    if (!mailbox_->posted.empty() && mailbox_->poster) mailbox_->poster();
}

void Application::Background(std::function<void(sys::System&)> work, std::function<void()> then) {
    if (!backgroundRunner) {
        Dispatch([&] { work(system_); });
        Dispatch(then);
        return;
    }
    std::weak_ptr<Mailbox> box = mailbox_;
    backgroundRunner([work = std::move(work), then = std::move(then), box](sys::System& own) {
        try {
            work(own);
        } catch (...) {
            return;  // nothing to tell: the work found nothing
        }
        std::shared_ptr<Mailbox> m = box.lock();
        if (!m) return;
        std::lock_guard<std::mutex> hold(m->lock);
        if (!m->open || !m->poster) return;
        m->posted.push_back(then);
        if (m->posted.size() == 1) m->poster();
    });
}

void Application::ShowError(const std::string& message) {
    system_.ShowBox(sys::BoxKind::Error, title, ErrorBoxText(message));
}

}  // namespace ui
