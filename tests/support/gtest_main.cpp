// The main of every test program. Built with ZYN_FAIL_ON_SKIP (CI), a test
// that calls GTEST_SKIP fails instead: a missing server or encoder must not
// take tests out of a CI run unseen.
#include <gtest/gtest.h>

namespace {

// End events reach the listeners in reverse order, so this runs before the
// result printer: the test is printed, counted and exits as failed, and its
// output carries no skip marker for ctest to take as a skip.
class FailSkippedTests : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &test) override {
        if (test.result()->Skipped()) ADD_FAILURE() << "skipped, and this build fails a skip (ZYN_FAIL_ON_SKIP)";
    }
};

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (ZYN_FAIL_ON_SKIP) ::testing::UnitTest::GetInstance()->listeners().Append(new FailSkippedTests);
    return RUN_ALL_TESTS();
}
