// Side files and the export folder: names that cannot leave their folder,
// links that are not followed, and files only the owner can read.
#include "ExchangeTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace exchangetest;
using namespace formattest;

namespace {

using Strings = std::vector<std::string>;

struct ExportFolder {
    TempFolder temp;
    std::string folder = temp.path("Records.qvx");
    std::string inner, files;
    ExportFolder() { EXPECT_TRUE(PrepareExportFolder(folder, inner, files)); }
};

} // namespace

TEST(ImportSideFiles, OnlyRecordIdentifiersAreSideFileNames)
{
    EXPECT_TRUE(IsValidSideFileName("0123456789ABCDEF"));
    for (const char* name : {"0123456789abcdef", "0123456789ABCDE", "0123456789ABCDEF0", "../0123456789ABCD",
                             "0123456789ABCD/.", "", "0123456789ABCDEG", "01234567 9ABCDEF"})
        EXPECT_FALSE(IsValidSideFileName(name)) << name;
    EXPECT_EQ(SideFilePath("/x/Files/", "0123456789ABCDEF"), "/x/Files/0123456789ABCDEF.sfa");
    EXPECT_EQ(SideFilePath("/x/Files", "0123456789ABCDEF"), "/x/Files/0123456789ABCDEF.sfa");
    EXPECT_EQ(SideFilePath("/x/Files/", "../../etc/passwd"), std::nullopt);
}

TEST(ImportSideFiles, ASideFileIsReadFromTheFilesFolderBesideTheQVXFileOnly)
{
    ExportFolder e;
    writeFile(e.files + "0123456789ABCDEF.sfa", std::string("\x00\x01side", 6));
    std::string bytes;
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789ABCDEF", bytes), TVXSideFileStatus::Read);
    EXPECT_EQ(bytes, std::string("\x00\x01side", 6));
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789ABCDEE", bytes), TVXSideFileStatus::Missing);
    EXPECT_TRUE(bytes.empty());

    // A crafted name is refused before anything is opened, even where the file exists.
    writeFile(e.temp.path("outside.sfa"), "secret of another file");
    EXPECT_EQ(ReadSideFile(e.inner, "../../outside", bytes), TVXSideFileStatus::NameRefused);
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789abcdef", bytes), TVXSideFileStatus::NameRefused);
    EXPECT_TRUE(bytes.empty());

    // A link named like a side file is not followed; nor is a folder read.
    ASSERT_EQ(::symlink(e.temp.path("outside.sfa").c_str(), (e.files + "00000000000000AA.sfa").c_str()), 0);
    EXPECT_EQ(ReadSideFile(e.inner, "00000000000000AA", bytes), TVXSideFileStatus::NotAFile);
    ASSERT_EQ(::mkdir((e.files + "00000000000000BB.sfa").c_str(), 0700), 0);
    EXPECT_EQ(ReadSideFile(e.inner, "00000000000000BB", bytes), TVXSideFileStatus::NotAFile);
    EXPECT_TRUE(bytes.empty());
}

TEST(ImportSideFiles, AFilesFolderThatIsALinkIsNotFollowed)
{
    TempFolder temp;
    const std::string elsewhere = temp.path("elsewhere");
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    writeFile(elsewhere + "/0123456789ABCDEF.sfa", "not for import");
    const std::string folder = temp.path("Records.qvx");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (folder + "/Files").c_str()), 0);
    std::string bytes;
    EXPECT_EQ(ReadSideFile(folder + "/Records.qvx", "0123456789ABCDEF", bytes), TVXSideFileStatus::NotAFile);
    EXPECT_TRUE(bytes.empty());
    // Nor does an export write through it.
    std::string inner, files;
    EXPECT_FALSE(PrepareExportFolder(folder, inner, files));
}

TEST(ExportSideFiles, TheExportFolderIsMadeForTheOwnerAndReusedWhenThere)
{
    TempFolder temp;
    const std::string folder = temp.path("Records.qvx");
    std::string inner, files;
    ASSERT_TRUE(PrepareExportFolder(folder + "/", inner, files));
    EXPECT_EQ(inner, folder + "/Records.qvx");
    EXPECT_EQ(files, folder + "/Files/");
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(folder + "/Files"), 0700);
    EXPECT_TRUE(PrepareExportFolder(folder, inner, files));

    // A file of that name is no export folder.
    writeFile(temp.path("taken.qvx"), "a version 3 export");
    EXPECT_FALSE(PrepareExportFolder(temp.path("taken.qvx"), inner, files));
    EXPECT_EQ(readFile(temp.path("taken.qvx")), "a version 3 export");
}

TEST(ExportSideFiles, PrivateWritesReplaceALinkInsteadOfWritingThroughIt)
{
    TempFolder temp;
    writeFile(temp.path("target"), "must stay");
    ASSERT_EQ(::symlink(temp.path("target").c_str(), temp.path("link").c_str()), 0);
    ::umask(0022);
    EXPECT_TRUE(WriteFilePrivately(temp.path("link"), "new bytes"));
    EXPECT_EQ(readFile(temp.path("target")), "must stay");
    EXPECT_EQ(readFile(temp.path("link")), "new bytes");
    EXPECT_EQ(modeOf(temp.path("link")), 0600);
    EXPECT_EQ(folderEntries(FolderOfPath(temp.path("x"))), (Strings{"link", "target"}));

    // Dropped without commit, nothing is left.
    {
        TVXAtomicFile file(temp.path("dropped"));
        ASSERT_TRUE(file.open());
        EXPECT_TRUE(file.write("half"));
    }
    EXPECT_EQ(folderEntries(FolderOfPath(temp.path("x"))), (Strings{"link", "target"}));
}

TEST(ImportSideFiles, ASideFileOverTheLimitIsRefusedUnread)
{
    ExportFolder e;
    writeFile(e.files + "0123456789ABCDEF.sfa", "0123456789");
    std::string bytes = "left over";
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789ABCDEF", bytes, 10), TVXSideFileStatus::Read);
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789ABCDEF", bytes, 9), TVXSideFileStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
    writeFile(e.files + "0123456789ABCDEE.sfa", "");
    EXPECT_EQ(ReadSideFile(e.inner, "0123456789ABCDEE", bytes), TVXSideFileStatus::Read);
    EXPECT_TRUE(bytes.empty());
}
