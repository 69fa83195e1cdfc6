// Entry point of the imaging suites. With KORVANE_TEST_FILE_BACKED=1 every bitmap the suite makes
// keeps its pixels in a temporary file, so that each test also runs over the file-backed rows.
#include "imaging/core/kvbitmap.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const char* fileBacked = std::getenv("KORVANE_TEST_FILE_BACKED");
    if (fileBacked != nullptr && std::strcmp(fileBacked, "1") == 0)
        Daduvudez::KVDefMinFileSize = 0;
    return RUN_ALL_TESTS();
}
