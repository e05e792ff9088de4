// The asking side of a run with administrator rights: the job, and the sources' bytes
// read with the player's own rights, a fixed piece at a time.
#include "elevated/Job.h"
#include "elevated/Target.h"
#include "slots/Slots.h"

namespace elevated {
namespace {

class Request : public sys::Conversation {
public:
    Request(sys::System& system, const Job& job) : system_(system), job_(job) {}

    std::string Argument(const std::string& channel) override {
        return elevated::Argument(channel);
    }

    bool Next(std::string& bytes) override {
        if (!jobSent_) {
            jobSent_ = true;
            bytes = Frame('J', FormatJob(job_));
            return true;
        }
        while (step_ < job_.steps.size() && job_.steps[step_].kind != Step::Kind::Copy) ++step_;
        if (step_ >= job_.steps.size()) return false;
        const std::string& source = job_.steps[step_].source;
        if (!system_.ReadPart(source, offset_, kChunk, piece_)) {
            sys::FileError why{sys::Fault::SourceMissing, ""};
            if (system_.SizeOf(source)) why = {sys::Fault::Other, "コピー元のファイルを読めません"};
            bytes = Frame('F', FormatResults({why}));
            NextStep();
        } else if (piece_.empty()) {
            bytes = Frame('E');
            NextStep();
        } else {
            offset_ += piece_.size();
            bytes = Frame('D', piece_);
        }
        return true;
    }

private:
    void NextStep() {
        ++step_;
        offset_ = 0;
    }

    sys::System& system_;
    const Job& job_;
    bool jobSent_ = false;
    std::size_t step_ = 0;
    std::uint64_t offset_ = 0;
    std::string piece_;  // the one buffer a source passes through
};

}  // namespace

std::vector<sys::FileError> Ask(sys::System& system, const std::string& folder,
                                std::vector<Step> steps, const std::function<bool()>& confirm) {
    std::vector<sys::FileError> results(steps.size(), {sys::Fault::NeedsRights, ""});
    // What is there now goes with each step: the elevated side writes only over that.
    Job job{folder, {}};
    std::vector<std::size_t> sent;  // the job's steps, by their place in `steps`
    for (std::size_t i = 0; i < steps.size(); ++i) {
        Step& s = steps[i];
        if (!s.seen &&
            !TargetState(system, slots::DestinationPath(folder, s.slot), s.expected, &results[i])) {
            continue;
        }
        sent.push_back(i);
        job.steps.push_back(std::move(s));
    }
    if (!confirm()) {
        for (std::size_t i : sent) results[i] = {sys::Fault::NeedsRights, ""};
        return results;
    }
    if (job.steps.empty()) return results;
    Request request(system, job);
    std::string answer;
    std::vector<sys::FileError> done(job.steps.size(), {sys::Fault::NeedsRights, ""});
    switch (system.RunElevated(request, answer)) {
        case sys::Elevation::Done: done = ParseResults(answer, job.steps.size()); break;
        case sys::Elevation::Declined: break;
        case sys::Elevation::Failed:
            done.assign(job.steps.size(),
                        {sys::Fault::Other, "管理者として動かす QUAVERIX を起動できませんでした"});
            break;
    }
    for (std::size_t k = 0; k < sent.size(); ++k) results[sent[k]] = done[k];
    return results;
}

}  // namespace elevated
