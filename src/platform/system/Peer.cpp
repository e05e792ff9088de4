#include "platform/system/Peer.h"

#include "platform/text/Cp932.h"

namespace sys {

bool IsOwnParent(const ProcessFacts& self, const ProcessFacts& server) {
    return self.known && server.known && self.parent != 0 && server.id == self.parent &&
           server.id != self.id && !self.image.empty() &&
           text::UpperAscii(server.image) == text::UpperAscii(self.image) &&
           server.started <= self.started;
}

}  // namespace sys
