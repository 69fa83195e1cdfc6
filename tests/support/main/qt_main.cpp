// Entry point of the suites whose tests make windows: the application object lives for the whole
// run and everything it owns is freed before the program ends.
#include <gtest/gtest.h>

#include "platform/forms/application.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Application->Initialize();
    const int result = RUN_ALL_TESTS();
    DoneApplication();
    return result;
}
