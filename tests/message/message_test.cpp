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
    // 640 x 480 with every even-x, even-y pixel dark: about 76000 isolated
    // components, more than the 32768 labels there is room for.
    std::vector<unsigned char> dots(640 * 480 * 4, 255);
    for (int y = 0; y < 480; y += 2)
        for (int x = 0; x < 640; x += 2)
            for (int c = 0; c < 3; c++) dots[(y * 640 + x) * 4 + c] = 0;
    const auto label = [&] {
        mvImXsize = 640;
        mvImYsize = 480;
        int n;
        int *area, *clip, *table;
        double *pos;
        return mvLabeling(dots.data(), 100, &n, &area, &pos, &clip, &table) == nullptr;
    };
    std::vector<Failure> rows = {
        {"missing pattern", [&] { return mvLoadPatt(missing.c_str()) < 0; }, MV_ERROR_NOT_FOUND,
         "\"" + missing + "\" not found!!", "\"" + missing + "\" not found!!\n"},
        {"short pattern", [&] { return mvLoadPatt(short_patt.c_str()) < 0; }, MV_ERROR_FORMAT,
         "Pattern Data read error!!", "Pattern Data read error!!\n"},
        {"too many labels", label, MV_ERROR_CAPACITY,
         "more than 32768 provisional labels in one frame", ""},
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
