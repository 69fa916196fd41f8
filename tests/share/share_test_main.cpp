#include <QGuiApplication>
#include <gtest/gtest.h>

// The chart's pictures need a QGuiApplication (for the text); test discovery runs this too, where no display may be.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
