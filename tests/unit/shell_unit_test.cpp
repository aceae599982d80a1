// DPI scaling of the shell: the bold font's height follows the screen.
#include "app/app.h"

#include <gtest/gtest.h>

TEST(ScaleByDpi, AsksTheScreenOnceThenScales) {
    // The test prefix's screen has Wine's default 96 dpi: the font height stays -12.
    g_shell.screenDpi = 0;
    EXPECT_EQ(-12, ScaleByDpi(-12));
    EXPECT_EQ(96, g_shell.screenDpi);

    struct Case {
        int dpi, pixels, scaled;
    } cases[] = {{96, -12, -12}, {120, -12, -15}, {144, -12, -18}, {120, 7, 8}, {120, -7, -8}, {168, 100, 175}};
    for (const Case& c : cases) {
        g_shell.screenDpi = c.dpi;
        EXPECT_EQ(c.scaled, ScaleByDpi(c.pixels)) << c.dpi << " dpi, " << c.pixels;
    }
    g_shell.screenDpi = 0;
}
