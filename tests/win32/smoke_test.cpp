// The window comes up on real controls with the shipped list file, and closes once.
#include <gtest/gtest.h>

#include "support/RealForm.h"

using namespace wintest;

TEST(WindowSmoke, StartsAndClosesOnce) {
    TempFolder exe("smoke");
    RealForm f(exe.Path() + "\\", exe.Path());
    EXPECT_TRUE(IsWindowVisible(f.Handle()));
    int closes = 0;
    f.form->OnClose = [&](ui::Control* s) {
        ++closes;
        f.form->FormClose(s);
    };
    PostMessageW(f.Handle(), WM_CLOSE, 0, 0);
    f.Pump();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(f.QuitPosted());
    EXPECT_TRUE(Exists(exe / "user.ini"));
}
