// The main of the GUI tests: the application object exists for the whole run, on the
// offscreen platform unless the environment names another.
#include "app/application_qt.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    OrbelleApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
