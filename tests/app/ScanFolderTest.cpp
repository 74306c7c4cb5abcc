// Folder scanning for drops and the command line.

#include "app/ScanFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kapto;

TEST(ScanFolderTest, FindsImagesAtAnyDepthAndSkipsTheRest)
{
    TTempDir dir;
    for (const char* name :
         {"b.PNG", "a.jpg", "notes.txt", "deep/x/y/z.gif", "deep/c.JPEG", ".hidden.bmp",
          ".secret/in-hidden.bmp", "sub.png/inside.bmp", "noext"}) {
        WriteFileBytes(dir.Path(name), {0});
    }
    std::vector<std::string> files;
    ASSERT_TRUE(ScanFolder(dir.Root(), files));
    const std::string root = dir.Root() + "/";
    // Depth first, names in byte order; the folder named like an image is entered, not added.
    EXPECT_EQ(files,
              (std::vector<std::string>{root + "a.jpg", root + "b.PNG", root + "deep/c.JPEG",
                                        root + "deep/x/y/z.gif", root + "sub.png/inside.bmp"}));
}

TEST(ScanFolderTest, FilesAndMissingPathsAreNotFolders)
{
    TTempDir dir;
    WriteFileBytes(dir.Path("a.bmp"), {0});
    std::vector<std::string> files;
    EXPECT_FALSE(ScanFolder(dir.Path("a.bmp"), files));
    EXPECT_FALSE(ScanFolder(dir.Path("missing"), files));
    EXPECT_TRUE(files.empty());
    // A trailing delimiter gives the same names.
    EXPECT_TRUE(ScanFolder(dir.Root() + "/", files));
    EXPECT_EQ(files, std::vector<std::string>{dir.Path("a.bmp")});
}

TEST(ScanFolderTest, LinksToFoldersAreNotFollowedAndPipesNotListed)
{
    TTempDir dir;
    WriteFileBytes(dir.Path("real/a.bmp"), {0});
    ASSERT_EQ(::symlink(dir.Root().c_str(), dir.Path("real/loop.png").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Path("real/a.bmp").c_str(), dir.Path("real/link.bmp").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Path("real/pipe.bmp").c_str(), 0600), 0);
    std::vector<std::string> files;
    ASSERT_TRUE(ScanFolder(dir.Path("real"), files));
    EXPECT_EQ(files, (std::vector<std::string>{dir.Path("real/a.bmp"), dir.Path("real/link.bmp")}));
}
