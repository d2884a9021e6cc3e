#include <gtest/gtest.h>

#include <stdexcept>

#include "corvana/core/FlagScope.h"

TEST(FlagScope, SetsTheFlagAndGivesBackItsOldValueAlsoOnAnException) {
    bool flag = false;
    try {
        const corvana::FlagScope outer(flag);
        EXPECT_TRUE(flag);
        {
            const corvana::FlagScope inner(flag);
            EXPECT_TRUE(flag);
        }
        EXPECT_TRUE(flag) << "the inner scope restores the outer one's value";
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(flag);
}
