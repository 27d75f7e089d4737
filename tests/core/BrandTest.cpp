#include "core/Brand.h"

#include <gtest/gtest.h>

TEST(Brand, ColoursAreTheBrandValues)
{
    struct Case {
        const QColor& colour;
        double r, g, b;
    };
    const Case cases[] = {
        {Brand::lime(), 198 / 255.0, 1.0, 61 / 255.0},
        {Brand::bg(), 0.07, 0.075, 0.08},
        {Brand::red(), 0.9, 0.28, 0.3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.colour.spec(), QColor::Rgb);
        EXPECT_NEAR(c.colour.redF(), c.r, 1.0 / 65535);
        EXPECT_NEAR(c.colour.greenF(), c.g, 1.0 / 65535);
        EXPECT_NEAR(c.colour.blueF(), c.b, 1.0 / 65535);
        EXPECT_EQ(c.colour.alphaF(), 1.0);
    }
    EXPECT_EQ(Brand::lime().name(), "#c6ff3d");
}
