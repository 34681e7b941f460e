#include "LogUploadService.h"

#include <algorithm>
#include <array>
#include <optional>

#include "MultipartForm.h"
#include "TextChecks.h"
#include "Verdict.h"

namespace orvanpush::server {
namespace {

constexpr std::string_view boundaryPrefix = "multipart/form-data; boundary=";
constexpr std::string_view textType = "text/plain; charset=utf-8";

struct ExpectedPart {
    std::string_view name;
    std::string_view contentType;
    bool file;
};

constexpr std::array<ExpectedPart, 4> expectedParts{{
    {"client", textType, false},
    {"device", textType, false},
    {"filename", textType, false},
    {"logfile", "text/plain", true},
}};

Reply uploadError(int status, const std::string& description) {
    return Reply::json(status, {{"status", "error"}, {"description", description}});
}

std::optional<std::string> boundaryOf(const IncomingRequest& request, std::string& problem) {
    const auto values = request.headerValues("Content-Type");
    if (values.size() != 1 || !values.front().starts_with(boundaryPrefix)) {
        problem = "\"Content-Type\" must be \"multipart/form-data; boundary=\" and the boundary";
        return std::nullopt;
    }
    std::string boundary = values.front().substr(boundaryPrefix.size());
    if (!isUpperCaseUuid(boundary)) {
        problem = "the boundary \"" + boundary + "\" is not an upper-case UUID";
        return std::nullopt;
    }
    return boundary;
}

const MultipartPart* partNamed(const MultipartForm& form, std::string_view name) {
    const auto found = std::find_if(form.parts.begin(), form.parts.end(),
                                    [&](const MultipartPart& part) { return part.name == name; });
    return found == form.parts.end() ? nullptr : &*found;
}

// The parts must be exactly the four expected ones, each once, in any order.
std::string partsProblem(const MultipartForm& form) {
    if (!form.problem.empty()) {
        return form.problem;
    }
    for (const auto& part : form.parts) {
        const auto expected = std::find_if(
            expectedParts.begin(), expectedParts.end(),
            [&](const ExpectedPart& candidate) { return candidate.name == part.name; });
        if (expected == expectedParts.end()) {
            return "unexpected part \"" + part.name + "\"";
        }
        if (std::count_if(form.parts.begin(), form.parts.end(), [&](const MultipartPart& other) {
                return other.name == part.name;
            }) > 1) {
            return "part \"" + part.name + "\" comes more than once";
        }
        if (part.contentType != expected->contentType) {
            return "part \"" + part.name + "\" has Content-Type \"" + part.contentType +
                   "\" instead of \"" + std::string(expected->contentType) + "\"";
        }
        if (part.filename.has_value() != expected->file) {
            return "part \"" + part.name + "\" " +
                   (expected->file ? "needs a filename" : "must have no filename");
        }
        if (!expected->file && !isValidUtf8(part.data)) {
            return "part \"" + part.name + "\" is not UTF-8 text";
        }
    }
    for (const auto& expected : expectedParts) {
        if (partNamed(form, expected.name) == nullptr) {
            return "part \"" + std::string(expected.name) + "\" is missing";
        }
    }
    const auto& filename = *partNamed(form, "logfile")->filename;
    if (filename.empty() || filename.find('/') != std::string::npos) {
        return "the logfile's filename \"" + filename + "\" is not a plain file name";
    }
    if (partNamed(form, "filename")->data != filename) {
        return "the \"filename\" part differs from the logfile's filename";
    }
    return {};
}

}  // namespace

LogUploadService::LogUploadService(const std::string& context)
    : path_((context.empty() ? "" : "/" + context) + "/saveLogFile") {}

Reply LogUploadService::handle(const IncomingRequest& request, RequestRecord& record,
                               StateData& state, bool apply) const {
    record.setEndpoint("saveLogFile");
    Verdict verdict(record, [](const Refusal& refusal, const std::string& problem) {
        return uploadError(refusal.httpStatus, problem);
    });
    if (request.method != "POST") {
        verdict.fail("method", "failed",
                     "Method " + request.method + " not allowed: \"" + path_ + "\" takes POST",
                     405);
        record.setOutcome("refused");
        return *verdict.refusal();
    }
    verdict.note("noAuthorization",
                 request.headerValues("Authorization").empty()
                     ? std::string()
                     : "a log upload must not carry an \"Authorization\" header",
                 400);
    std::string boundaryProblem;
    const auto boundary = boundaryOf(request, boundaryProblem);
    verdict.note("contentType", boundaryProblem, 400);
    std::optional<MultipartForm> form;
    if (boundary) {
        form = parseMultipartForm(request.body, *boundary);
        verdict.note("multipart", partsProblem(*form), 400);
    } else {
        verdict.pass("multipart", "skipped");
    }
    ZipCheckResult archive;
    if (form && !record.checkFailed("multipart")) {
        archive = checkZipArchive(partNamed(*form, "logfile")->data);
        verdict.note("archive",
                     archive.valid() ? std::string()
                                     : "the logfile is not a valid ZIP archive: " + archive.problem,
                     400);
    } else {
        verdict.pass("archive", "skipped");
    }
    if (verdict.refusal()) {
        record.setOutcome("refused");
        return *verdict.refusal();
    }
    record.setOutcome(apply ? "applied" : "checked");
    if (!apply) {
        return {};
    }
    StoredArchive stored{.id = state.nextArchiveId++,
                         .requestId = record.id(),
                         .client = std::string(partNamed(*form, "client")->data),
                         .device = std::string(partNamed(*form, "device")->data),
                         .filename = *partNamed(*form, "logfile")->filename,
                         .partOrder = {},
                         .bytes = std::string(partNamed(*form, "logfile")->data),
                         .entries = archive.entries};
    for (const auto& part : form->parts) {
        stored.partOrder.push_back(part.name);
    }
    state.archives.push_back(std::move(stored));
    Json answer = {{"status", "success"}};
    if (!state.loggingControl.is_null()) {
        answer["sdk-logging-control"] = state.loggingControl;
    }
    return Reply::json(200, answer);
}

}  // namespace orvanpush::server
