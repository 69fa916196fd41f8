#include <QGuiApplication>
#include <gtest/gtest.h>

// The renderer's tests run as the headless replay does: a QGuiApplication on the offscreen
// platform (for the text), no widgets linked.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
