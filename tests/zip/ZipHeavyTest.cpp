// Large archives; the suite's name gives these tests the CTest label "heavy".

#include <fstream>

#include <gtest/gtest.h>

#include "orvanpush/zip/Crc32.h"
#include "orvanpush/zip/ZipItem.h"
#include "support/TestHome.h"
#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

namespace fs = std::filesystem;
using namespace testing;

TEST(ZipHeavyTest, ATwoHundredMebibyteFile) {
    orvanpush::testing::TempDirectory temp;
    const fs::path source = temp.path() / "big.log";
    std::uint32_t crc = 0;
    {
        // Log text with incompressible stretches, so both block kinds occur.
        const Bytes text = logText(1 << 20);
        const Bytes noise = randomBytes(1 << 20);
        std::ofstream out(source, std::ios::binary);
        for (int mebibyte = 0; mebibyte < 200; ++mebibyte) {
            const Bytes& piece = mebibyte % 10 == 3 ? noise : text;
            out.write(reinterpret_cast<const char*>(piece.data()),
                      static_cast<std::streamsize>(piece.size()));
            crc = crc32(piece, crc);
        }
    }
    zipItem(source, temp.path() / "big.zip", true, CompressionMethod::deflate);

    const Json info = checked(temp.path() / "big.zip");
    ASSERT_EQ(info["entries"].size(), 1u);
    EXPECT_EQ(info["entries"][0]["central"]["crc32"], crc);
    EXPECT_EQ(info["entries"][0]["contentSize"], 200u << 20);

    unzipItem(temp.path() / "big.zip", temp.path() / "out");
    EXPECT_EQ(fs::file_size(temp.path() / "out/big.log"), 200u << 20);
}

}  // namespace
}  // namespace orvanpush::zip
