// Test entry: the renderers' exact results depend on x87 extended precision,
// which a Windows thread does not start with.
#include <gtest/gtest.h>

#include "core/render/precision.h"

int main(int argc, char** argv) {
    lumivane::UseExtendedPrecision();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
