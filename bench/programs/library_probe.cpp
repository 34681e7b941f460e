// The peak resident size a program reaches when it touches one library only, for the cold-push
// benchmark's breakdown: compiled once per library, with PROBE_<LIBRARY> naming it (none: a bare
// main).

#if defined(PROBE_CURL)
#include <curl/curl.h>
#elif defined(PROBE_OPENSSL)
#include <openssl/evp.h>
#elif defined(PROBE_SQLITE)
#include <sqlite3.h>

#include <string>
#elif defined(PROBE_ICU)
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>
#endif

#include "peak_resident.h"

int main(int argc, char** argv) {
#if defined(PROBE_CURL)
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl_easy_cleanup(curl_easy_init());
#elif defined(PROBE_OPENSSL)
    EVP_PKEY_CTX_free(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
#elif defined(PROBE_SQLITE)
    // argv[1]: a directory to make the database in.
    sqlite3* database = nullptr;
    const std::string file = std::string(argc > 1 ? argv[1] : "/tmp") + "/probe.sqlite";
    sqlite3_open(file.c_str(), &database);
    sqlite3_exec(database, "CREATE TABLE IF NOT EXISTS t (v); INSERT INTO t VALUES (1);", nullptr,
                 nullptr, nullptr);
    sqlite3_close(database);
#elif defined(PROBE_ICU)
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString("yyyy-MM-dd HH:mm:ssZZZ"),
                                 icu::Locale::createFromName("en_US_POSIX"), status);
    icu::UnicodeString text;
    format.format(0.0, text);
#endif
    (void)argc;
    (void)argv;
    orvanpush::bench::printPeakResident();
    return 0;
}
