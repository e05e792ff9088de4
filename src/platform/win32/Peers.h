// The native peer for each kind of control.
#pragma once

#include <memory>

#include "platform/win32/NativeForm.h"

namespace win32 {

// A peer for the control's kind; null for kinds with no window of their own.
std::unique_ptr<PeerBase> MakePeer(NativeForm& nf, ui::Control& control);

// The peers that live in files of their own (BrowsePeers.cpp, GridPeer.cpp).
std::unique_ptr<PeerBase> NewDrivePeer(NativeForm& nf, ui::Control& control);
std::unique_ptr<PeerBase> NewDirPeer(NativeForm& nf, ui::Control& control);
std::unique_ptr<PeerBase> NewFilePeer(NativeForm& nf, ui::Control& control);
std::unique_ptr<PeerBase> NewGridPeer(NativeForm& nf, ui::Control& control);

// Radio buttons of a group are laid out as the form designer's radio group does.
struct RadioLayout {
    int left, top, width, height;
};
RadioLayout RadioItemPlace(int groupWidth, int groupHeight, int textHeight, int count, int index);

// Arrow keys on a radio button move the group's choice; true when handled.
bool RadioArrow(PeerBase* peer, HWND from, WPARAM key);

}  // namespace win32
