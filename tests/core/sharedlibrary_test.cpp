#include "core/error.h"
#include "core/sharedlibrary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tideplot {
namespace {

// A library loaded when first needed gives its functions with their own types; one that
// is not there, or a function it lacks, is named in the error, with the package to install.
TEST(SharedLibrary, LoadsByFileNameAndNamesWhatIsMissing)
{
    const SharedLibrary maths("libm.so.6", "libc6");
    double (*cosine)(double) = nullptr;
    maths.Resolve(cosine, "cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.5), std::cos(0.5));

    try {
        maths.Resolve(cosine, "no_such_function");
        ADD_FAILURE() << "resolved a function that is not there";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("libm.so.6 has no function no_such_function"), std::string::npos)
            << e.what();
    }
    try {
        SharedLibrary("libtideplot-missing.so.7", "libtideplot-missing7");
        ADD_FAILURE() << "loaded a library that is not there";
    } catch (const Error& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("libtideplot-missing.so.7 cannot be loaded ("), std::string::npos) << message;
        EXPECT_NE(message.find("install it (Debian package libtideplot-missing7)"), std::string::npos) << message;
    }
}

} // namespace
} // namespace tideplot
