// The message channel: representative failures of each library print what
// they always printed (or nothing), and leave a code and a text to read.
#include "morvex.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct Failure {
    const char *what;
    std::function<bool()> fails;   // true when the call reported failure
    MvError code;
    std::string text;
    std::string printed;           // on standard output, printing on
};

TEST(Messages, FailuresPrintAsBeforeAndRecordCodeAndText)
{
    const std::string dir = "/tmp/morvex-message-" + std::to_string(getpid());
    const std::string missing = dir + "-none.lumo", short_patt = dir + "-short.lumo";
    {
        std::ofstream f(short_patt);
        for (int i = 0; i < 3071; i++) f << "10 ";   // one number short
    }
    // A working image past 4096 x 4096 pixels is refused before it is read.
    std::vector<unsigned char> frame(16, 255);
    const auto label = [&] {
        mvImXsize = 4097;
        mvImYsize = 4096;
        int n;
        int *area, *clip, *table;
        double *pos;
        return mvLabeling(frame.data(), 100, &n, &area, &pos, &clip, &table) == nullptr;
    };
    std::vector<Failure> rows = {
        {"missing pattern", [&] { return mvLoadPatt(missing.c_str()) < 0; }, MV_ERROR_NOT_FOUND,
         "\"" + missing + "\" not found!!", "\"" + missing + "\" not found!!\n"},
        {"short pattern", [&] { return mvLoadPatt(short_patt.c_str()) < 0; }, MV_ERROR_FORMAT,
         "Pattern Data read error!!", "Pattern Data read error!!\n"},
        {"frame too large", label, MV_ERROR_ARGUMENT,
         "working image of 4097 x 4096 pixels: labelling takes 1 to 16777216", ""},
        {"missing camera", [&] { MvCameraParam c; return mvParamLoad(missing.c_str(), 1, &c) < 0; },
         MV_ERROR_NOT_FOUND, "cannot open camera file \"" + missing + "\"", ""},
    };
#ifdef MORVEX_TEST_VIDEO
    CaptureStdout();
    mvVideoDispOption();
    const std::string help = GetCapturedStdout();
    rows.push_back({"bad capture word", [] { return mvVideoOpen("-file=x.avi -fast") < 0; },
                    MV_ERROR_ARGUMENT, "Capture word \"-fast\" not understood.",
                    help + "Capture word \"-fast\" not understood.\n"});
#endif
    for (const Failure &f : rows) {
        for (int printing : {1, 0}) {
            SCOPED_TRACE(std::string(f.what) + (printing ? "" : ", printing off"));
            mvSetErrorPrinting(printing);
            mvClearError();
            EXPECT_EQ(mvLastError(), MV_ERROR_NONE);
            EXPECT_STREQ(mvLastErrorText(), "");
            CaptureStdout();
            EXPECT_TRUE(f.fails());
            EXPECT_EQ(GetCapturedStdout(), printing ? f.printed : "");
            EXPECT_EQ(mvLastError(), f.code);
            EXPECT_EQ(mvLastErrorText(), f.text);
        }
    }
    mvSetErrorPrinting(1);
    std::remove(short_patt.c_str());
}

}  // namespace
