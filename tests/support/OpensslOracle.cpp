#include "support/OpensslOracle.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/TestHome.h"

namespace orvanpush::testing {
namespace {

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}

bool succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

Bytes opensslBase64Decode(const std::string& text) {
    TempDirectory directory;
    const auto in = directory.path() / "text";
    const auto out = directory.path() / "bytes";
    writeFile(in, text);
    if (!succeeds("openssl base64 -d -A -in " + in.string() + " -out " + out.string())) {
        return {};
    }
    std::ifstream file(out, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

bool opensslVerifies(const std::string& publicKey, const std::string& signature,
                     const std::string& text) {
    TempDirectory directory;
    const auto& d = directory.path();
    writeFile(d / "key.der", opensslBase64Decode(publicKey));
    writeFile(d / "signature", opensslBase64Decode(signature));
    writeFile(d / "data", text);
    return succeeds("openssl dgst -sha1 -keyform DER -verify " + (d / "key.der").string() +
                    " -signature " + (d / "signature").string() + " " + (d / "data").string());
}

bool opensslReadsPublicKey(const std::string& publicKey) {
    TempDirectory directory;
    const auto key = directory.path() / "key.der";
    writeFile(key, opensslBase64Decode(publicKey));
    return succeeds("openssl pkey -pubin -inform DER -noout -in " + key.string());
}

}  // namespace orvanpush::testing
