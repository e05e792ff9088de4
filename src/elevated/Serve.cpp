// The run with administrator rights: the job, the checks and the writes.
#include <memory>

#include "elevated/Job.h"
#include "elevated/Target.h"
#include "slots/Slots.h"

namespace elevated {
namespace {

// Reads frames from the asking side; a short read or a malformed header breaks it for good.
class Frames {
public:
    explicit Frames(sys::Channel& channel) : channel_(channel) {}

    // The next frame's type and payload (at most `limit` bytes); false when none came whole.
    bool Next(char& type, std::string& payload, std::size_t limit) {
        char header[9];
        if (!ReadExact(header, sizeof header)) return false;
        std::size_t length = 0;
        for (int i = 1; i < 9; ++i) {
            const char c = header[i];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return Broken();
            length = length * 16 + static_cast<std::size_t>(digit);
        }
        if (length > limit) return Broken();
        type = header[0];
        payload.resize(length);
        return ReadExact(payload.data(), length);
    }

private:
    bool ReadExact(char* data, std::size_t count) {
        while (!broken_ && count > 0) {
            const std::size_t got = channel_.Read(data, count);
            if (got == 0) return Broken();
            data += got;
            count -= got;
        }
        return !broken_;
    }
    bool Broken() {
        broken_ = true;
        return false;
    }

    sys::Channel& channel_;
    bool broken_ = false;
};

// Why the step may not be done now (Fault::None when it may): the folder has no junction or
// link in it, and the target is still what the asking side saw. Checked just before the
// write, so that nothing changed while the prompt was up, or the bytes came, is written.
sys::FileError Recheck(sys::System& system, const std::string& folder, const Step& step) {
    if (!IsPlainFolder(system, folder)) return LinkedFolderReason();
    const std::string destination = slots::DestinationPath(folder, step.slot);
    std::optional<originals::Fingerprint> now;
    if (!TargetState(system, destination, now, nullptr) || now != step.expected) {
        return ChangedTargetReason();
    }
    return {};
}

}  // namespace

bool Serve(sys::System& system, sys::Channel& channel) {
    Frames frames(channel);
    char type = 0;
    std::string payload;
    if (!frames.Next(type, payload, kMaxJob) || type != 'J') return false;
    std::optional<Job> parsed = ParseJob(payload);
    if (!parsed) return false;
    const Job& job = *parsed;
    // A folder that is not a whole path, or leads elsewhere, refuses every step.
    sys::FileError folderFault;
    if (!IsWholePath(job.folder)) {
        folderFault = BadJobReason();
    } else if (!IsPlainFolder(system, job.folder)) {
        folderFault = LinkedFolderReason();
    }
    std::vector<sys::FileError> results(job.steps.size());
    for (std::size_t i = 0; i < job.steps.size(); ++i) {
        const Step& step = job.steps[i];
        sys::FileError& result = results[i];
        result = folderFault;
        if (result.fault == sys::Fault::None && !IsSlotName(step.slot)) result = BadNameReason();
        const std::string destination =
            result.fault == sys::Fault::None ? slots::DestinationPath(job.folder, step.slot) : "";
        if (step.kind == Step::Kind::Remove) {
            if (result.fault == sys::Fault::None) result = Recheck(system, job.folder, step);
            if (result.fault == sys::Fault::None && system.RemoveFile(destination, &result)) {
                result = {};
            }
            continue;
        }
        // A copy: the source's bytes come in frames whatever is done with them, and go
        // into the side file only while the step is still allowed.
        std::unique_ptr<sys::Replacement> side;
        if (result.fault == sys::Fault::None) result = Recheck(system, job.folder, step);
        if (result.fault == sys::Fault::None) side = system.BeginReplace(destination, &result);
        for (;;) {
            if (!frames.Next(type, payload, kChunk)) return false;  // the asking side is gone
            if (type == 'D') {
                if (side && !side->Write(payload, &result)) side.reset();
            } else if (type == 'E') {
                break;
            } else if (type == 'F') {
                side.reset();
                if (result.fault == sys::Fault::None) {
                    std::vector<sys::FileError> why = ParseResults(payload, 1);
                    result = why[0].fault == sys::Fault::None ? BadJobReason() : why[0];
                }
                break;
            } else {
                return false;
            }
        }
        if (!side) continue;
        result = Recheck(system, job.folder, step);
        if (result.fault == sys::Fault::None && side->Commit(&result)) result = {};
    }
    return channel.Write(FormatResults(results));
}

}  // namespace elevated
