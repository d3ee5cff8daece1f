#include <gtest/gtest.h>

#include "site/roster_request.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const koravel::site::CurlGlobal curl;
    return RUN_ALL_TESTS();
}
