#include <gtest/gtest.h>

// Engine tests need no Qt at all.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
