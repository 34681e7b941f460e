// The log server's client: the multipart form byte for byte, what it refuses to send, the
// decoding of the server's answers, and the session's limits.

#include "api/LogServerService.h"

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/ScriptedServer.h"
#include "api/UploadLogsResult.h"
#include "api/UploadLogsTarget.h"
#include "orvanpush/TextError.h"
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

UploadLogsObject uploadOf(const std::string& path, const std::string& filename) {
    return {.clientId = "client-1",
            .deviceId = "device-\xC3\xA9",
            .pathToFile = path,
            .filename = filename};
}

// The request's content type, its only header, which names a boundary of its own.
std::string contentTypeOf(const platform::HttpRequest& request) {
    EXPECT_THAT(request.headers,
                ElementsAre(Pair("Content-Type",
                                 ::testing::MatchesRegex("multipart/form-data; boundary=[0-9A-F]{8}"
                                                         "(-[0-9A-F]{4}){3}-[0-9A-F]{12}"))));
    return request.headers.empty() ? "" : request.headers[0].second;
}

platform::HttpRequest requestFor(const UploadLogsObject& object) {
    return LogServerService::request(UploadLogsTarget{object}.parameters(), kBase);
}

// The form's bytes are checked through the reference server by the log upload's tests; here,
// what surrounds them and what is refused.
TEST(UploadLogsRequestTest, IsAFormOfAReadableFileThatCannotForgePartHeaders) {
    TempDirectory directory;
    const auto path = writeFile(directory.path() / "2024-05-01-app.log.zip", "PK");
    const auto request = requestFor(uploadOf(path, "2024-05-01-app.log.zip"));
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 60s);
    const std::string type = contentTypeOf(request);
    // Each request has a boundary of its own; a header entry cannot replace the form's type.
    auto parameters = UploadLogsTarget{uploadOf(path, "a")}.parameters();
    parameters["h.content-type"] = "application/json";
    EXPECT_NE(contentTypeOf(LogServerService::request(parameters, kBase)), type);

    // The timeout comes from the parameters, or is the default of 30 seconds when meaningless.
    auto object = uploadOf(path, "t.zip");
    object.requestTimeout = 15.5;
    EXPECT_EQ(requestFor(object).timeout, 15500ms);
    parameters["timeout"] = "soon";
    EXPECT_EQ(LogServerService::request(parameters, kBase).timeout, 30s);

    // A file name that could forge part headers is made safe.
    const auto form =
        *requestFor(uploadOf(writeFile(directory.path() / "a\"b\r\nc.zip", "PK"), "x")).body;
    EXPECT_THAT(std::string(form.begin(), form.end()),
                ::testing::HasSubstr("name=\"logfile\";filename=\"a_b__c.zip\"\r\n"));

    // A FIFO is refused at once, never waited on.
    const auto fifo = (directory.path() / "spool.zip").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ApiParameters post{{"path", "/saveLogFile"}, {"httpMethod", "POST"}};
    std::vector<std::pair<ApiParameters, std::string>> cases{
        {post, "Internal framework error: empty multipart data"}};
    for (const auto& unreadable :
         {(directory.path() / "missing.zip").string(), testHome().string(), fifo}) {
        cases.emplace_back(UploadLogsTarget{uploadOf(unreadable, "x.zip")}.parameters(),
                           "Can not get data from file: " + unreadable);
    }
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"mp.a\"; name=\"b.v", "x"},
             {"mp.a\r\nX-Forged: 1.v", "x"},
             {"mp.a\n.v", "x"},
             {"mp.a.ct", "text/plain\r\nX-Forged: 1"},
             {"mp.a.ct", "text/plain; charset=\"utf-8\""},
             {"mp.a.ct", ""}}) {
        auto forged = post;
        forged["mp.a.v"] = "x";
        forged[key] = value;
        cases.emplace_back(forged, "Internal framework error: invalid multipart field");
    }
    for (const auto& refused : cases) {
        EXPECT_THAT([&] { LogServerService::request(refused.first, kBase); },
                    ::testing::ThrowsMessage<TextError>(refused.second));
    }
}

// An answer, and the status, description and presence of a logging control decoded from it.
using Decoding = std::tuple<std::string, ResultKind, std::optional<std::string>, bool>;

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
    for (const auto& [answer, status, description, control] : cases) {
        const auto result = UploadLogsResult::decode(Bytes(answer.begin(), answer.end()));
        EXPECT_EQ(result.status, status) << answer;
        EXPECT_EQ(result.description, description) << answer;
        EXPECT_EQ(result.sdkLoggingControl.has_value(), control) << answer;
    }
    for (const std::string notAnObject : {"[]", "\"success\"", "status: success", ""}) {
        EXPECT_THROW(UploadLogsResult::decode(Bytes(notAnObject.begin(), notAnObject.end())),
                     TextError)
            << notAnObject;
    }
}

TEST(LogServerServiceTest, PrintsAndDecodesWhatTheServerAnswersOnTheCallbackPool) {
    const auto path = writeFile(testHome() / "answers.zip", "PK");
    ScriptedServer server({ScriptedServer::status(200, R"({"status":"success"})"),
                           ScriptedServer::status(503),
                           ScriptedServer::status(200, "\xFF not json"), ScriptedServer::drop()});
    const LogServerService service(server.baseAddress() + "/logs//");
    EXPECT_EQ(service.baseAddress(), server.baseAddress() + "/logs");
    const ConsoleCapture console;
    std::vector<UploadLogsResult> results;
    for (int sent = 0; sent < 4; ++sent) {
        OneCompletion<UploadLogsResult> answer;
        service.send(UploadLogsTarget{uploadOf(path, "answers.zip")}, answer.completion());
        results.push_back(answer.wait(20s).value_or(UploadLogsResult{}));
        EXPECT_NE(answer.thread(), std::this_thread::get_id());
    }

    EXPECT_EQ(results[0].status, ResultKind::success);
    EXPECT_EQ(results[1].description, "Invalid response with status \"503\"");
    EXPECT_EQ(results[2].description, "The answer is not valid JSON");
    EXPECT_EQ(results[3].status, ResultKind::error);
    EXPECT_TRUE(results[3].description);
    EXPECT_THAT(console.lines(), ElementsAre("Result: {\"status\":\"success\"}", "Result: None"));
    // Only the form's own header: no credentials, no JSON content type.
    ASSERT_EQ(server.requests().size(), 4u);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.target, "/logs/saveLogFile");
    EXPECT_TRUE(request.values("Authorization").empty());
    EXPECT_THAT(request.values("Content-Type"),
                ElementsAre(::testing::StartsWith("multipart/form-data; boundary=")));
}

TEST(LogServerServiceTest, ASilentConnectionEndsAtTheSessionsIdleLimit) {
    // The log server's session gives up on a connection silent for 30 seconds, long before the
    // request's 60; shortened here.
    ScriptedServer server({ScriptedServer::silence()});
    const auto request = std::make_shared<const platform::HttpRequest>(
        platform::HttpRequest{.url = server.baseAddress() + "/logs/saveLogFile",
                              .method = "POST",
                              .body = Bytes{'x'},
                              .timeout = 1h});
    OneCompletion<platform::HttpOutcome> answer;
    platform::UrlSession({.connectAndIdleTimeout = 1s}).dataTask(request, answer.completion());
    const auto outcome = answer.wait(20s).value_or(platform::HttpOutcome{});
    EXPECT_FALSE(outcome.response);
    EXPECT_TRUE(outcome.error);
}

}  // namespace
}  // namespace orvanpush::testing
