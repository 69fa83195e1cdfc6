// Entry point of the imaging suites whose tests make windows: the imaging start-up (every bitmap
// in a temporary file with KORVANE_TEST_FILE_BACKED=1) and an application object whose forms are
// freed before the program ends.
#include "imaging/core/kvbitmap.h"
#include "platform/forms/application.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const char* fileBacked = std::getenv("KORVANE_TEST_FILE_BACKED");
    if (fileBacked != nullptr && std::strcmp(fileBacked, "1") == 0)
        Daduvudez::KVDefMinFileSize = 0;
    Application->Initialize();
    const int result = RUN_ALL_TESTS();
    DoneApplication();
    return result;
}
