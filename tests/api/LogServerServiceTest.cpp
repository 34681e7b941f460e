// The log server's client: the multipart form byte for byte, what it refuses to send, the
// decoding of the server's answers, and the session's limits.

#include "api/LogServerService.h"

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/MultipartFormData.h"
#include "api/ScriptedServer.h"
#include "api/UploadLogsResult.h"
#include "api/UploadLogsTarget.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/Console.h"
#include "support/OneCompletion.h"
#include "support/TestHome.h"

namespace orvanpush::testing {
namespace {

using namespace std::chrono_literals;
using namespace detail;
using ::testing::ElementsAre;

const std::string kBase = "http://127.0.0.1:9/logs";

std::string writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::string text(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

UploadLogsObject uploadOf(const std::string& path, const std::string& filename) {
    return {.clientId = "client-1",
            .deviceId = "device-\xC3\xA9",
            .pathToFile = path,
            .filename = filename};
}

// The boundary the request's content type names.
std::string boundaryOf(const platform::HttpRequest& request) {
    EXPECT_EQ(request.headers.size(), 1u);
    static const std::regex contentType(
        "multipart/form-data; "
        "boundary=([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(request.headers.at(0).second, match, contentType));
    EXPECT_EQ(request.headers.at(0).first, "Content-Type");
    return match.empty() ? std::string() : match[1].str();
}

// The form's bytes are checked through the reference server by the log upload's tests.
TEST(UploadLogsRequestTest, IsAFormWithNoOtherHeaderAndAFileNameThatCannotForgeHeaders) {
    TempDirectory directory;
    const auto path = writeFile(directory.path() / "2024-05-01-app.log.zip", "PK");

    const auto request = LogServerService::request(
        UploadLogsTarget{uploadOf(path, "2024-05-01-app.log.zip")}.parameters(), kBase);

    EXPECT_EQ(request.url, kBase + "/saveLogFile");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 60s);
    const std::string b = boundaryOf(request);
    // Each request has a boundary of its own; a header entry cannot replace the form's type.
    auto parameters = UploadLogsTarget{uploadOf(path, "a")}.parameters();
    parameters["h.content-type"] = "application/json";
    EXPECT_NE(boundaryOf(LogServerService::request(parameters, kBase)), b);

    // The timeout comes from the parameters, or is the default of 30 seconds when meaningless.
    auto object = uploadOf(path, "t.zip");
    object.requestTimeout = 15.5;
    EXPECT_EQ(LogServerService::request(UploadLogsTarget{object}.parameters(), kBase).timeout,
              15500ms);
    parameters["timeout"] = "soon";
    EXPECT_EQ(LogServerService::request(parameters, kBase).timeout, 30s);

    // A file name that could forge part headers is made safe.
    const auto unsafe = writeFile(directory.path() / "a\"b\r\nc.zip", "PK");
    EXPECT_NE(
        text(*LogServerService::request(UploadLogsTarget{uploadOf(unsafe, "x")}.parameters(), kBase)
                  .body)
            .find("name=\"logfile\";filename=\"a_b__c.zip\"\r\n"),
        std::string::npos);
}

TEST(UploadLogsRequestTest, RefusesFormsThatWouldForgePartHeadersOrHaveNoReadableFile) {
    const auto missing = (testHome() / "missing.zip").string();
    // A FIFO is refused at once, never waited on.
    const auto fifo = (testHome() / "spool.zip").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ApiParameters post{{"path", "/saveLogFile"}, {"httpMethod", "POST"}};
    const std::string forged = "Internal framework error: invalid multipart field";
    std::vector<std::pair<ApiParameters, std::string>> cases{
        {post, "Internal framework error: empty multipart data"},
        {UploadLogsTarget{uploadOf(missing, "missing.zip")}.parameters(),
         "Can not get data from file: " + missing},
        {UploadLogsTarget{uploadOf(testHome().string(), "home")}.parameters(),
         "Can not get data from file: " + testHome().string()},
        {UploadLogsTarget{uploadOf(fifo, "spool.zip")}.parameters(),
         "Can not get data from file: " + fifo}};
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"mp.a\"; name=\"b.v", "x"},
             {"mp.a\r\nX-Forged: 1.v", "x"},
             {"mp.a\n.v", "x"},
             {"mp.a.ct", "text/plain\r\nX-Forged: 1"},
             {"mp.a.ct", "text/plain; charset=\"utf-8\""},
             {"mp.a.ct", ""}}) {
        auto parameters = post;
        parameters["mp.a.v"] = "x";
        parameters[key] = value;
        cases.emplace_back(parameters, forged);
    }
    for (const auto& [parameters, expected] : cases) {
        try {
            LogServerService::request(parameters, kBase);
            ADD_FAILURE() << "built a request failing with " << expected;
        } catch (const TextError& error) {
            EXPECT_EQ(error.what(), expected);
        }
    }
}

struct Decoding {
    std::string answer;
    ResultKind status;
    std::optional<std::string> description;
    bool control;
};

// How the log upload reports the usual answers is checked with it; here, the unusual ones.
TEST(UploadLogsResultTest, DecodesTheStatusDescriptionAndControl) {
    const std::string control =
        R"({"log-level":"trace","send-logs":"1","vendor":[],"ios-sdk-version":["1.0.1"],)"
        R"("android-sdk-version":[]})";
    const std::string notFound = "Invalid data in answer: property \"status\" not found";
    const std::vector<Decoding> cases{
        {R"({"status":"SUCCESS","description":"not read"})", ResultKind::success, {}, false},
        {R"({"status":"error","description":null})", ResultKind::error, {}, false},
        {R"({"status":"done"})", ResultKind::error,
         "Invalid data in answer: unknown status \"done\"", false},
        {R"({"status":"success\u0000"})", ResultKind::error,
         std::string("Invalid data in answer: unknown status \"success") + '\0' + "\"", false},
        {R"({})", ResultKind::error, notFound, false},
        {R"({"status":null})", ResultKind::error, notFound, false},
        {R"({"status":1})", ResultKind::error, notFound, false},
        {R"({"status":"done","sdk-logging-control":)" + control + "}", ResultKind::error,
         "Invalid data in answer: unknown status \"done\"", true},
        {R"({"sdk-logging-control":[]})", ResultKind::error, "SDK Logging Control null!", false},
        {R"({"status":"success","sdk-logging-control":null})", ResultKind::success, {}, false},
    };
    for (const auto& c : cases) {
        const auto result = UploadLogsResult::decode(Bytes(c.answer.begin(), c.answer.end()));
        EXPECT_EQ(result.status, c.status) << c.answer;
        EXPECT_EQ(result.description, c.description) << c.answer;
        EXPECT_EQ(result.sdkLoggingControl.has_value(), c.control) << c.answer;
    }
    for (const std::string notAnObject : {"[]", "\"success\"", "status: success", ""}) {
        EXPECT_THROW(UploadLogsResult::decode(Bytes(notAnObject.begin(), notAnObject.end())),
                     TextError)
            << notAnObject;
    }
}

// Sends an upload and waits for its one completion and for its work to end.
UploadLogsResult sendAndWait(const LogServerService& service, const UploadLogsObject& object,
                             std::thread::id* thread = nullptr) {
    OneCompletion<UploadLogsResult> answer;
    service.send(UploadLogsTarget{object}, answer.completion());
    auto result = answer.wait(20s).value_or(UploadLogsResult{});
    if (thread != nullptr) {
        *thread = answer.thread();
    }
    return result;
}

TEST(LogServerServiceTest, PrintsAndDecodesWhatTheServerAnswersOnTheCallbackPool) {
    const auto path = writeFile(testHome() / "answers.zip", "PK");
    ScriptedServer server({ScriptedServer::status(200, R"({"status":"success"})"),
                           ScriptedServer::status(503),
                           ScriptedServer::status(200, "\xFF not json"), ScriptedServer::drop()});
    const LogServerService service(server.baseAddress() + "/logs//");
    EXPECT_EQ(service.baseAddress(), server.baseAddress() + "/logs");
    std::mutex mutex;
    std::vector<std::string> console;
    platform::Console::redirect([&](std::string_view line) {
        std::lock_guard lock(mutex);
        console.emplace_back(line);
    });

    std::thread::id thread;
    const auto success = sendAndWait(service, uploadOf(path, "answers.zip"), &thread);
    const auto noBody = sendAndWait(service, uploadOf(path, "answers.zip"));
    const auto notJson = sendAndWait(service, uploadOf(path, "answers.zip"));
    const auto dropped = sendAndWait(service, uploadOf(path, "answers.zip"));
    platform::Console::redirect({});

    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(success.status, ResultKind::success);
    EXPECT_EQ(noBody.description, "Invalid response with status \"503\"");
    EXPECT_EQ(notJson.description, "The answer is not valid JSON");
    EXPECT_EQ(dropped.status, ResultKind::error);
    EXPECT_TRUE(dropped.description);
    EXPECT_THAT(console, ElementsAre("Result: {\"status\":\"success\"}", "Result: None"));
    // Only the form's own header: no credentials, no JSON content type.
    ASSERT_EQ(server.requests().size(), 4u);
    EXPECT_EQ(server.requests()[0].target, "/logs/saveLogFile");
    EXPECT_EQ(server.requests()[0].headerCount("Authorization"), 0u);
    EXPECT_EQ(server.requests()[0].headerCount("Content-Type"), 1u);
    EXPECT_EQ(server.requests()[0].header("Content-Type")->substr(0, 30),
              "multipart/form-data; boundary=");
}

TEST(LogServerServiceTest, ASilentConnectionEndsAtTheSessionsIdleLimit) {
    // The log server's session gives up on a connection silent for 30 seconds, long before the
    // request's 60; shortened here.
    ScriptedServer server({ScriptedServer::silence()});
    auto request = std::make_shared<platform::HttpRequest>();
    request->url = server.baseAddress() + "/logs/saveLogFile";
    request->method = "POST";
    request->body = Bytes{'x'};
    request->timeout = 1h;
    Event done;
    platform::HttpOutcome outcome;
    platform::UrlSession({.connectAndIdleTimeout = 1s})
        .dataTask(request, [&](platform::HttpOutcome result) {
            outcome = std::move(result);
            done.notify();
        });
    ASSERT_TRUE(done.wait(20s));
    EXPECT_FALSE(outcome.response);
    EXPECT_TRUE(outcome.error);
}

}  // namespace
}  // namespace orvanpush::testing
