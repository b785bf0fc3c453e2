#include "FormatTestSupport.h"

#include "interchange/FileFormats.h"

#include <gtest/gtest.h>

#include <string>

using namespace formattest;

TEST(FileTypeDetection, HeadersDecideTheKind)
{
    const std::string rest = "\rF\rT,1,Web\r";
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v1.0" + rest), eFileQVXv1);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v2.0" + rest), eFileQVXv2);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v3.0" + rest), eFileQVXv3);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v4.0" + rest), eFileQVXv4);
    // Text behind the header on its line is not examined.
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v3.0 and more\rF\r"), eFileQVXv3);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v3.0"), eFileQVXv3);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v5.0" + rest), eFileQVXUnknown);
    EXPECT_EQ(GetFileType("Tolvanex qVX File"), eFileQVXUnknown);
    EXPECT_EQ(GetFileType("Tolvanex qVX File -v3."), eFileQVXUnknown);
    EXPECT_EQ(GetFileType("Tolvanex Export File\rWeb,a\r"), eFileCSVExport);
    EXPECT_EQ(GetFileType(std::string(kTolvanUserCSVHeader) + "\r"), eFileUserCSV);
    // The user header with a single blank missing is some other text.
    EXPECT_EQ(GetFileType("Username,Password, Confirm Password\r"), eFileText);
    EXPECT_EQ(GetFileType("Tolvanex qVX"), eFileText);
    EXPECT_EQ(GetFileType("name,password\r"), eFileText);
    EXPECT_EQ(GetFileType(""), eFileText);
    // Bytes of 128 and above are text.
    EXPECT_EQ(GetFileType("caf\xC3\xA9,\x8E\xFF\r"), eFileText);
}

TEST(FileTypeDetection, ControlBytesMakeABinaryFile)
{
    const std::string qvx = "Tolvanex qVX File -v3.0\rF\rF,1,a\r";
    EXPECT_EQ(GetFileType(qvx + '\x07'), eFileBinary);
    EXPECT_EQ(GetFileType(std::string("Tolvanex qVX File -v3.0\rF\r\0", 27)), eFileBinary);
    EXPECT_EQ(GetFileType("Tolvanex Export File\r\x1B"), eFileBinary);
    // 29, FF, VT, TAB, CR and LF are text.
    EXPECT_EQ(GetFileType(qvx + "\x1D\f\v\t\r\n"), eFileQVXv3);
    EXPECT_EQ(GetFileType("a\x1D" "b\fc"), eFileText);
}

TEST(FileTypeDetection, EncryptionFlagAndFilesOnDisk)
{
    EXPECT_TRUE(CheckForEncryption("Tolvanex qVX File -v3.0\rT,00\r"));
    EXPECT_TRUE(CheckForEncryption("Tolvanex qVX File -v3.0\r\n\r\n\"T\"\r"));
    EXPECT_FALSE(CheckForEncryption("Tolvanex qVX File -v3.0\rF\rT,1,Web\r"));
    EXPECT_FALSE(CheckForEncryption("Tolvanex qVX File -v3.0"));
    EXPECT_FALSE(CheckForEncryption(""));

    // Files as the exporter leaves them, read back from disk.
    TempFolder folder;
    const TVXFileKey key("secret");
    struct Case {
        EFileType kind;
        const BlowfishContext* key;
    };
    for (const Case c : {Case{eFileQVXv3, nullptr}, Case{eFileQVXv3, key.get()},
                         Case{eFileQVXv4, key.get()}, Case{eFileCSVExport, nullptr},
                         Case{eFileUserCSV, nullptr}}) {
        std::string header;
        WriteHeader(c.kind, header, c.key);
        const std::string path = folder.path("file" + std::to_string(c.kind));
        writeFile(path, header);
        const std::string text = readFile(path);
        EXPECT_EQ(GetFileType(text), c.kind);
        if (c.kind == eFileQVXv3 || c.kind == eFileQVXv4) {
            EXPECT_EQ(CheckForEncryption(text.c_str()), c.key != nullptr);
        }
    }
}
