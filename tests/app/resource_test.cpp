// Finding the resource folder from the executable's path, and the start-up
// lines a lookup prints.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "resource.h"

namespace fs = std::filesystem;

class ResourceLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mvviewer_res_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = fs::canonical(tmpl);
        fs::create_directories(root / "bin");
        exe = (root / "bin" / "mvviewer").string();
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
    std::string exe;
};

TEST_F(ResourceLookup, BundleIsFirstExistingFolderBesideTheExecutable)
{
    EXPECT_EQ(bundleFor(exe), "");

    // A plain file named like the folder does not count.
    std::ofstream(root / "bin" / "resources") << "x";
    EXPECT_EQ(bundleFor(exe), "");

    fs::create_directories(root / "share" / "morvex");
    EXPECT_EQ(bundleFor(exe), (root / "share" / "morvex").string());  // no ".."

    fs::remove(root / "bin" / "resources");
    fs::create_directories(root / "bin" / "resources");
    EXPECT_EQ(bundleFor(exe), (root / "bin" / "resources").string());
}

TEST_F(ResourceLookup, RunningExecutableFindsTheBuildResources)
{
    // The tests live in build/bin beside the copied resources.
    char want[PATH_MAX];
    ASSERT_NE(realpath(MORVEX_RESOURCE_DIR, want), nullptr);
    EXPECT_EQ(mainBundle(), want);
}

static std::string lookup(const std::string &bundle, const char *name, char *path)
{
    testing::internal::CaptureStdout();
    findResource(bundle, name, "loading thing from file: %s\n",
                 "whoohoo. loading thing from file: %s\n", path);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST_F(ResourceLookup, LookupPrintsItsStepsAndKeepsThePathOnFailure)
{
    const fs::path dir = root / "bin" / "resources";
    fs::create_directories(dir / "patt.lumo");  // a folder, not a file
    std::ofstream(dir / "camera_para.dat") << "x";
    const std::string cal = (dir / "camera_para.dat").string();

    char path[kPathBufferSize] = "";
    EXPECT_EQ(lookup("", "camera_para.dat", path), "failure: bundle is NULL\n");
    EXPECT_STREQ(path, "");

    EXPECT_EQ(lookup(dir.string(), "camera_para.dat", path),
              "trying to find the file...found it...loading thing from file: " + cal + "\n");
    EXPECT_EQ(path, cal);

    // Misses leave the previous path in the buffer and say so.
    for (const char *name : {"patt.lumo", "missing.dat", "CAMERA_PARA.DAT"}) {
        EXPECT_EQ(lookup(dir.string(), name, path),
                  "trying to find the file...could not find file."
                  "whoohoo. loading thing from file: " + cal + "\n") << name;
        EXPECT_EQ(path, cal);
    }
}

TEST_F(ResourceLookup, PathTooLongForTheBufferIsAMiss)
{
    fs::path dir = root;
    while (dir.string().size() < kPathBufferSize) dir /= std::string(200, 'd');
    fs::create_directories(dir);
    std::ofstream(dir / "patt.lumo") << "x";
    char path[kPathBufferSize] = "before";
    EXPECT_EQ(lookup(dir.string(), "patt.lumo", path),
              "trying to find the file...found it...whoohoo. loading thing from file: before\n");
    EXPECT_STREQ(path, "before");
}
