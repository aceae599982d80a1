// DPI scaling of the shell: the bold font's height follows the screen.
#include "app/app.h"

#include <gtest/gtest.h>

TEST(ScaleByDpi, AsksTheScreenOnceThenScales) {
    g_shell.screenDpi = 0;
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(-12 * dpi / 96, ScaleByDpi(-12));
    EXPECT_EQ(dpi, g_shell.screenDpi);

    struct Case {
        int dpi, pixels, scaled;
    } cases[] = {{96, -12, -12}, {120, -12, -15}, {144, -12, -18}, {120, 7, 8}, {120, -7, -8}, {168, 100, 175}};
    for (const Case& c : cases) {
        g_shell.screenDpi = c.dpi;
        EXPECT_EQ(c.scaled, ScaleByDpi(c.pixels)) << c.dpi << " dpi, " << c.pixels;
    }
    g_shell.screenDpi = 0;
}
